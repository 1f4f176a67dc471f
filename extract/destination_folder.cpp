#include "extract/destination_folder.h"

#include <algorithm>
#include <utility>

#include "base/exceptions.h"
#include "extract/entry_writer.h"
#include "platform/directories.h"
#include "platform/file.h"

namespace {

[[noreturn]] void RaiseCannotCreate(const std::u16string& file) {
    throw EStreamError(u"Cannot create " + file + u".  " +
                       platform::SystemErrorText(platform::LastErrorCode()));
}

} // namespace

TDestinationFolder::TDestinationFolder(std::u16string path, TDestinationRules rules)
    : path_(std::move(path)), rules_(std::move(rules)) {
    if (rules_.temporaryPrefix.empty()) {
        rules_.temporaryPrefix = ChooseTemporaryPrefix({});
    }
}

TDestinationFolder::~TDestinationFolder() {
    CloseBelow(0);
    if (root_ != platform::kInvalidFolderHandle) {
        platform::FolderClose(root_);
    }
}

void TDestinationFolder::CloseBelow(size_t depth) {
    while (open_.size() > depth) {
        if (open_.size() > firstOpen_) {
            platform::FolderClose(open_.back().handle);
        }
        open_.pop_back();
    }
    // When all the folders kept are closed, the walk starts again at the destination.
    if (firstOpen_ >= open_.size()) {
        open_.clear();
        firstOpen_ = 0;
    }
}

void TDestinationFolder::CloseBeyondTheLimit() {
    while (OpenFolderCount() > std::max<size_t>(rules_.maxOpenFolders, 1)) {
        platform::FolderClose(open_[firstOpen_].handle);
        open_[firstOpen_].handle = platform::kInvalidFolderHandle;
        ++firstOpen_;
    }
}

std::optional<platform::FolderHandle>
TDestinationFolder::Open(const std::vector<std::u16string_view>& components,
                         const std::function<std::u16string()>& file, std::u16string& refusal) {
    if (root_ == platform::kInvalidFolderHandle) {
        root_ = platform::FolderOpen(path_);
        if (root_ == platform::kInvalidFolderHandle) {
            // A missing destination is made, through links on the way: the user chose this path.
            if (!platform::ForceDirectories(path_)) {
                RaiseCannotCreate(file());
            }
            root_ = platform::FolderOpen(path_);
            if (root_ == platform::kInvalidFolderHandle) {
                RaiseCannotCreate(file());
            }
        }
    }
    // Keep what the last entry opened as far as this one's folders agree with it, and walk on from the
    // deepest of those folders still open.
    size_t kept = 0;
    while (kept < components.size() && kept < open_.size() && open_[kept].name == components[kept]) {
        ++kept;
    }
    CloseBelow(kept);
    for (size_t i = open_.size(); i < components.size(); ++i) {
        const platform::FolderHandle parent = i == 0 ? root_ : open_.back().handle;
        std::u16string name(components[i]);
        platform::FolderHandle child = platform::kInvalidFolderHandle;
        switch (platform::FolderOpenChild(parent, name, child)) {
        case platform::ChildFolder::Opened:
            try {
                open_.push_back({std::move(name), child});
            } catch (...) {
                platform::FolderClose(child);
                throw;
            }
            CloseBeyondTheLimit();
            break;
        case platform::ChildFolder::Link:
            refusal = kLinkInPath;
            return std::nullopt;
        case platform::ChildFolder::Failed:
            RaiseCannotCreate(file());
        }
    }
    return open_.empty() ? root_ : open_.back().handle;
}
