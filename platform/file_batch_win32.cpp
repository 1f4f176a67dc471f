#include "platform/file_batch.h"

// Windows has no submission of many file operations at once: every file is left to the caller.
namespace platform {

class TFileBatch::TRing {};

TFileBatch::TFileBatch(size_t capacity) : capacity_(capacity) {}

TFileBatch::~TFileBatch() = default;

bool TFileBatch::Works() const {
    return false;
}

bool TFileBatch::WritesIn(FolderHandle) const {
    return false;
}

void TFileBatch::Add(FolderHandle folder, const std::u16string&, const std::u16string&, const void* bytes,
                     uint32_t size) {
    files_.push_back({folder, {}, {}, bytes, size});
}

void TFileBatch::Run(std::vector<bool>& written) {
    written.assign(files_.size(), false);
    files_.clear();
}

void SetFileBatchesRefusedForTesting(bool) {}

} // namespace platform
