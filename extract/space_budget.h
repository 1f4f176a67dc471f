#pragma once
// The free space of the destination's file system as one run uses it up. An entry with nothing packed stands
// for its uncompressed size in zero bytes, so a tiny archive can ask for gigabytes; the run stops, with one
// clear message, before it writes what the disk has no room for, instead of failing entry after entry on a
// full disk.
#include <atomic>
#include <cstdint>
#include <string>

// "Not enough free space in <destination>: the entries need at least N bytes (…), M bytes (…) are free".
std::u16string NotEnoughSpaceMessage(const std::u16string& destination, uint64_t needed, uint64_t free);

// Shared by the workers of one run: the free space when the run began, less what the run has written since.
class TSpaceBudget {
public:
    TSpaceBudget(std::u16string destination, uint64_t freeBytes);

    // Takes bytes for an entry about to be written. Nothing is taken when they do not fit in what is left:
    // the budget is then exhausted for the rest of the run and refusal holds NotEnoughSpaceMessage (the bytes
    // taken so far and these, the free space).
    bool Take(uint64_t bytes, std::u16string& refusal);
    // Gives back bytes taken for an entry that was not written after all.
    void Give(uint64_t bytes);
    // Whether a Take failed: no entry should be started any more.
    bool Exhausted() const { return exhausted_.load(std::memory_order_relaxed); }

private:
    std::u16string destination_;
    uint64_t free_;
    std::atomic<uint64_t> taken_{0};
    std::atomic<bool> exhausted_{false};
};
