#include "data_folder/settings_file.h"

#include "platform/file.h"
#include "platform/folder_files.h"

namespace {

// Whether nothing at all has that path: an open that fails for another reason is a file that cannot be read.
bool NothingAt(const std::u16string& path) {
    std::u16string folder;
    std::u16string name;
    if (!platform::SplitFilePath(path, folder, name)) {
        return false;
    }
    const platform::FolderHandle parent = platform::FolderOpen(folder);
    if (parent == platform::kInvalidFolderHandle) {
        return true; // no folder, no file; an unreadable folder says the same of everything in it
    }
    platform::NameInfo info;
    const bool known = platform::NameQuery(parent, name, info);
    platform::FolderClose(parent);
    return known && info.kind == platform::NameKind::Missing;
}

TSettingsFile Unreadable(std::u16string why) {
    TSettingsFile file;
    file.state = TSettingsFile::State::Unreadable;
    file.why = std::move(why);
    return file;
}

TSettingsFile SystemFailure() {
    return Unreadable(platform::SystemErrorText(platform::LastErrorCode()));
}

} // namespace

TSettingsFile ReadSettingsFile(const std::u16string& path) {
    const platform::FileHandle handle = platform::FileOpenRead(path);
    if (handle == platform::kInvalidFileHandle) {
        TSettingsFile failed = SystemFailure();
        if (NothingAt(path)) {
            failed.state = TSettingsFile::State::Missing;
            failed.why.clear();
        }
        return failed;
    }
    struct TClose {
        platform::FileHandle handle;
        ~TClose() { platform::FileClose(handle); }
    } close{handle};
    int64_t size = 0;
    if (!platform::FileGetSize(handle, &size)) {
        return SystemFailure();
    }
    if (size > kMaxSettingsFileBytes) {
        return Unreadable(u"larger than 16 MiB");
    }
    TSettingsFile file;
    file.bytes.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < file.bytes.size()) {
        const int32_t got =
            platform::FileReadAt(handle, file.bytes.data() + done,
                                 static_cast<int32_t>(file.bytes.size() - done), static_cast<int64_t>(done));
        if (got < 0) {
            return SystemFailure();
        }
        if (got == 0) {
            break; // shorter than it was a moment ago
        }
        done += static_cast<size_t>(got);
    }
    file.bytes.resize(done);
    file.state = TSettingsFile::State::Read;
    return file;
}
