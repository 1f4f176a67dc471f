// Fuzz target: the whole read path of one archive, as the window and the command-line tool walk it. The input
// becomes an archive file, which is opened, listed, and every listed entry fetched; names the archive does
// not list are looked up as well, and every entry string is judged for extraction and, when accepted,
// joined to a destination, which must stay below it.
//
// Refusals are fine (the reader raises Exception, the session returns false); anything else is a finding:
// a sanitizer report, another exception type escaping, a time-out, an allocation over the fuzzer's limit, or
// one of the checks below.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_session.h"
#include "archive/string_list.h"
#include "base/bytes.h"
#include "base/exceptions.h"
#include "base/ustring.h"
#include "extract/entry_path.h"
#include "extract/entry_writer.h"
#include "extract/same_destination.h"
#include "platform/directories.h"

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#else
#include <filesystem>
#include <fstream>
#include <random>
#endif

namespace {

[[noreturn]] void Fail(const char* what, const std::u16string& detail) {
    std::fprintf(stderr, "fuzz_archive: %s: %s\n", what, ToUtf8(detail).c_str());
    std::abort();
}

// The file that holds the current input, one per process, replaced for every input. The reader opens
// archives by name, so the bytes must be a file; on Linux an anonymous memory file spares the disk.
class ScratchArchive {
public:
#ifdef __linux__
    ScratchArchive() {
        fd_ = memfd_create("parlivex-fuzz.bsa", MFD_CLOEXEC);
        if (fd_ < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        path_ = FromUtf8("/proc/self/fd/" + std::to_string(fd_));
    }
    ~ScratchArchive() {
        close(fd_);
    }

    void Replace(const uint8_t* data, size_t size) {
        if (ftruncate(fd_, 0) != 0 ||
            (size > 0 && pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size))) {
            std::perror("writing the scratch archive");
            std::abort();
        }
    }
#else
    ScratchArchive() {
        const auto name = "parlivex-fuzz-" + std::to_string(std::random_device{}()) + ".bsa";
        file_ = std::filesystem::temp_directory_path() / name;
        path_ = file_.u16string();
    }
    ~ScratchArchive() {
        std::error_code ignored;
        std::filesystem::remove(file_, ignored);
    }

    void Replace(const uint8_t* data, size_t size) {
        std::ofstream out(file_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) {
            std::perror("writing the scratch archive");
            std::abort();
        }
    }
#endif
    ScratchArchive(const ScratchArchive&) = delete;
    ScratchArchive& operator=(const ScratchArchive&) = delete;

    const std::u16string& Path() const {
        return path_;
    }

private:
#ifdef __linux__
    int fd_ = -1;
#else
    std::filesystem::path file_;
#endif
    std::u16string path_;
};

// An accepted entry joined to a destination must land strictly below it, through folders that are plain
// names: no empty, "." or ".." component can slip through.
void CheckStaysBelowDestination(const rFileData& parts) {
    const std::u16string destination = std::u16string(u"destination") + platform::kPathDelimiter;
    const std::u16string file = EntryDestinationFile(destination, parts);
    if (file.compare(0, destination.size(), destination) != 0) {
        Fail("entry joined outside the destination", file);
    }
    std::u16string_view rest = std::u16string_view(file).substr(destination.size());
    for (;;) {
        const size_t separator = rest.find_first_of(u"/\\");
        const std::u16string_view component = rest.substr(0, separator);
        if (component.empty() || component == u"." || component == u"..") {
            Fail("accepted entry has a bad path component", file);
        }
        if (separator == std::u16string_view::npos) {
            return;
        }
        rest.remove_prefix(separator + 1);
    }
}

// Entries that collide name an earlier entry of the list that is written itself; refused ones collide with
// nothing. No folder or file name of the run begins as its temporary files' names do.
void CheckCollisionsAndTemporaryNames(const std::vector<std::u16string>& entries) {
    const TSameDestinations same(entries);
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::optional<TSameDestinations::TEarlier> earlier = same.Earlier(i);
        if (!earlier) {
            continue;
        }
        const size_t at = static_cast<size_t>(earlier->entry - entries.data());
        if (at >= i || same.Earlier(at) || UnsafeEntryPathReason(SplitEntryPath(entries[i]))) {
            Fail("a collision names no earlier written entry", entries[i]);
        }
    }
    const std::u16string prefix = ChooseTemporaryPrefix(entries);
    for (const std::u16string& entry : entries) {
        for (size_t start = 0; start <= entry.size();) {
            const size_t end = std::min(entry.find(u'\\', start), entry.size());
            if (std::u16string_view(entry).substr(start, end - start).starts_with(prefix)) {
                Fail("a name begins as the temporary files do", entry);
            }
            start = end + 1;
        }
    }
}

// A fetch that fails must hand back an empty buffer.
void Fetch(TArchiveSession& archive, const std::u16string& path, const rFileData& parts, bool getData) {
    TBytes buffer{0x5A};
    const bool found = ArchiveGetFile(archive, buffer, path, parts.fPath, parts.fName, parts.fExt, getData);
    if ((!found || !getData) && !buffer.empty()) {
        Fail("buffer not empty after a failed or data-less fetch",
             parts.fPath + u"\\" + parts.fName + parts.fExt);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchArchive scratch;
    scratch.Replace(data, size);
    const std::u16string& path = scratch.Path();

    TArchiveSession archive;
    try {
        ArchiveOpen(archive, path);
    } catch (const Exception&) {
        if (archive) {
            Fail("the session holds a reader after a failed open", path);
        }
        return 0;
    }

    TStringList entries;
    ArchiveExportFileList(archive, path, entries);
    std::vector<std::u16string> entryStrings;
    for (const TStringList::Item& entry : entries.Items()) {
        const rFileData parts = SplitEntryPath(entry.string);
        Fetch(archive, path, parts, true);
        if (!UnsafeEntryPathReason(parts).has_value()) {
            CheckStaysBelowDestination(parts);
        }
        entryStrings.push_back(entry.string);
    }
    CheckCollisionsAndTemporaryNames(entryStrings);

    // Names the archive does not list: lookups must miss (or hit) cleanly, also in an empty archive.
    const std::u16string someFolder = entries.Count() > 0 ? SplitEntryPath(entries.Strings(0)).fPath : u"";
    for (const rFileData& missing :
         {rFileData{u"", u"", u""}, rFileData{someFolder, u"no such file", u".dds"},
          rFileData{someFolder + u"\\no such folder", u"a", u".nif"},
          rFileData{u"MESHES\\ACTORS", u"BODY", u".NIF"}}) {
        Fetch(archive, path, missing, true);
        Fetch(archive, path, missing, false);
    }

    ArchiveFree(archive);
    ArchiveFree(archive);
    return 0;
}
