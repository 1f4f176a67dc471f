#include "extract/space_budget.h"

#include <iterator>
#include <utility>

#include "base/ustring.h"

namespace {

// "1717986918 bytes (1.6 GiB)": exact, and readable at a glance (one decimal, whatever the locale).
std::u16string ByteCount(uint64_t bytes) {
    constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    std::string text = std::to_string(bytes) + " bytes";
    if (bytes >= 1024) {
        size_t unit = 0;
        uint64_t size = 1024;
        while (unit + 1 < std::size(kUnits) && bytes / size >= 1024) {
            size *= 1024;
            ++unit;
        }
        // Tenths of the unit, rounded; computed without overflow since size <= 2^60.
        const uint64_t tenths = bytes / size * 10 + (bytes % size * 10 + size / 2) / size;
        text +=
            " (" + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + kUnits[unit] + ")";
    }
    return FromUtf8(text);
}

} // namespace

std::u16string NotEnoughSpaceMessage(const std::u16string& destination, uint64_t needed, uint64_t free) {
    return u"Not enough free space in " + destination + u": the entries need at least " + ByteCount(needed) +
           u", " + ByteCount(free) + u" are free";
}

TSpaceBudget::TSpaceBudget(std::u16string destination, uint64_t freeBytes)
    : destination_(std::move(destination)), free_(freeBytes) {}

bool TSpaceBudget::Take(uint64_t bytes, std::u16string& refusal) {
    uint64_t taken = taken_.load();
    do {
        if (bytes > free_ - taken) {
            exhausted_.store(true);
            refusal = NotEnoughSpaceMessage(destination_, taken + bytes, free_);
            return false;
        }
    } while (!taken_.compare_exchange_weak(taken, taken + bytes));
    return true;
}

void TSpaceBudget::Give(uint64_t bytes) {
    taken_.fetch_sub(bytes);
}
