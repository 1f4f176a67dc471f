#include "extract/user_file.h"

#include <new>
#include <optional>

#include "base/exceptions.h"
#include "extract/entry_writer.h"
#include "platform/file.h"
#include "platform/folder_files.h"

namespace {

// The folder the file is written in, closed at the end.
class TOpenFolder {
public:
    explicit TOpenFolder(const std::u16string& path) : handle_(platform::FolderOpen(path)) {}
    ~TOpenFolder() {
        if (handle_ != platform::kInvalidFolderHandle) {
            platform::FolderClose(handle_);
        }
    }
    TOpenFolder(const TOpenFolder&) = delete;
    TOpenFolder& operator=(const TOpenFolder&) = delete;

    platform::FolderHandle Handle() const { return handle_; }

private:
    platform::FolderHandle handle_;
};

// Why what has the name may not be replaced by a new file; nothing when it may.
std::optional<std::u16string> Refusal(const platform::NameInfo& existing) {
    using platform::NameKind;
    switch (existing.kind) {
    case NameKind::Missing:
    case NameKind::File:
        return std::nullopt;
    case NameKind::Folder:
        return kIsAFolder;
    case NameKind::Special:
        return kNotARegularFile;
    case NameKind::Link:
        // The link is replaced, never written through; one that leads to a device or a FIFO (/dev/stdout,
        // say) was most likely meant to be written through, and that is not done.
        if (existing.linkTarget == NameKind::File || existing.linkTarget == NameKind::Missing) {
            return std::nullopt;
        }
        return kLinkToNonRegularFile;
    }
    return kNotARegularFile;
}

std::u16string LastErrorText() {
    return platform::SystemErrorText(platform::LastErrorCode());
}

} // namespace

bool WriteUserFile(const std::u16string& path, const TBytes& data, std::u16string& reason) {
    std::u16string folderPath;
    std::u16string name;
    if (!platform::SplitFilePath(path, folderPath, name)) {
        reason = kNotAFileName;
        return false;
    }
    const TOpenFolder folder(folderPath);
    if (folder.Handle() == platform::kInvalidFolderHandle) {
        reason = LastErrorText();
        return false;
    }
    platform::NameInfo existing;
    if (!platform::NameQuery(folder.Handle(), name, existing)) {
        reason = LastErrorText();
        return false;
    }
    if (std::optional<std::u16string> refusal = Refusal(existing)) {
        reason = std::move(*refusal);
        return false;
    }
    std::optional<uint32_t> permissions;
    if (existing.kind == platform::NameKind::File) {
        permissions = existing.permissions;
    }
    try {
        // A temporary name that is not the file's own, which nobody can guess.
        WriteEntryFile(folder.Handle(), name, path, data, ChooseTemporaryPrefix({name}), nullptr,
                       permissions);
        return true;
    } catch (const EStreamError& e) {
        reason = e.SystemReason().empty() ? e.Message() : e.SystemReason();
    } catch (const Exception& e) {
        reason = e.Message();
    } catch (const std::bad_alloc&) {
        reason = u"out of memory";
    }
    return false;
}
