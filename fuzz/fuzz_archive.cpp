// Fuzz target: the whole read path of one archive, through the very steps the window and the command-line
// tool call (extract/entry_fetch.h). The input becomes an archive file, which is opened and listed; every
// listed entry is found again by its entry string, described, and read whole and in pieces, which must agree
// with each other and with the entry's size as the listing reads it;
// names the archive does not list are looked up as well; every entry string is judged for extraction and,
// when accepted, joined to a destination, which must stay below it.
//
// Refusals are fine (a reason comes back); anything else is a finding: a sanitizer report, a failure of a
// kind the reader never raises, a time-out, an allocation over the fuzzer's limit, or one of the checks
// below.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "archive/bsa_file.h"
#include "base/bytes.h"
#include "base/ustring.h"
#include "extract/entry_fetch.h"
#include "extract/entry_path.h"
#include "extract/entry_writer.h"
#include "extract/extraction_plan.h"
#include "platform/directories.h"
#include "platform/folder_files.h"

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

// The plan of extracting every entry, with its folders or without: a collision names an earlier entry that is
// written itself; no two written entries land on one file, and none lands where another needs a folder
// (checked here on the whole paths, independently of how the plan finds them). No folder or file name of the
// run begins as its temporary files' names do.
void CheckPlan(const TwbBSAFile& reader, bool withoutFolders) {
    std::vector<TEntryRef> all(reader.FileCount());
    std::iota(all.begin(), all.end(), TEntryRef{0});
    const TExtractionPlan plan(reader, std::move(all), withoutFolders);
    const std::u16string destination = u"destination";
    std::set<std::u16string> files;
    std::set<std::u16string> folders;
    std::vector<std::u16string> names;
    for (size_t i = 0; i < plan.Size(); ++i) {
        const std::u16string entryString = reader.EntryString(plan.Entry(i));
        if (const std::optional<size_t> earlier = plan.Earlier(i)) {
            if (*earlier >= i || !plan.ToBeWritten(*earlier)) {
                Fail("a collision names no earlier written entry", entryString);
            }
        }
        if (!plan.ToBeWritten(i)) {
            continue;
        }
        std::u16string file = EntryDestinationFile(destination, plan.Folder(i).components, plan.FileName(i));
        platform::ToFileNameKey(file);
        if (!files.insert(file).second || folders.count(file) != 0) {
            Fail("two written entries share a file", entryString);
        }
        for (size_t at = file.find_first_of(u"/\\", destination.size() + 1); at != std::u16string::npos;
             at = file.find_first_of(u"/\\", at + 1)) {
            const std::u16string folder = file.substr(0, at);
            if (files.count(folder) != 0) {
                Fail("a written entry needs a folder where another's file is", entryString);
            }
            folders.insert(folder);
        }
        names.push_back(entryString);
    }
    const std::u16string prefix = ChooseTemporaryPrefix(names);
    for (const std::u16string& entry : names) {
        for (size_t start = 0; start <= entry.size();) {
            const size_t end = std::min(entry.find(u'\\', start), entry.size());
            if (std::u16string_view(entry).substr(start, end - start).starts_with(prefix)) {
                Fail("a name begins as the temporary files do", entry);
            }
            start = end + 1;
        }
    }
}

// A step that failed in a way the reader never fails is a fault of ours.
void CheckExpected(const TFetchResult& result, const char* step) {
    if (result.unexpected) {
        Fail(step, result.reason);
    }
}

// An entry's bytes as the reader hands them out piece by piece, compared as they come with the bytes of the
// whole read (an entry may stand for 16 MiB of zeros: nothing is kept).
class TCompare : public TEntryDestination, private TStream {
public:
    explicit TCompare(const TBytes& whole) : whole_(whole) {}
    TStream& Begin(uint64_t size) override {
        told_ = size;
        return *this;
    }
    // Whether every byte matched and as many came as the size told and the whole read gave.
    bool Same() const { return same_ && at_ == whole_.size() && told_ == whole_.size(); }

private:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void* buffer, int32_t count) override {
        const auto n = static_cast<size_t>(count);
        same_ = same_ && at_ + n <= whole_.size() && std::memcmp(whole_.data() + at_, buffer, n) == 0;
        at_ += n;
        return count;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return static_cast<int64_t>(at_); }
    using TStream::Seek;

    const TBytes& whole_;
    uint64_t told_ = 0;
    size_t at_ = 0;
    bool same_ = true;
};

// The entry read whole and in pieces: the same outcome, the same bytes, the size told first; a failure leaves
// the buffer empty. The entry's size when it was read.
std::optional<size_t> FetchBothWays(TwbBSAFile& reader, TEntryRef entry) {
    const std::u16string name = reader.EntryString(entry);
    TBytes whole{0x5A};
    const TFetchResult fetched = FetchEntry(reader, entry, whole);
    CheckExpected(fetched, "unexpected failure of a whole read");
    if (!fetched && !whole.empty()) {
        Fail("buffer not empty after a failed fetch", name);
    }
    TCompare pieces(whole);
    const TFetchResult inPieces = FetchEntryInPieces(reader, entry, pieces);
    CheckExpected(inPieces, "unexpected failure of a read in pieces");
    if (fetched.fetched != inPieces.fetched || fetched.reason != inPieces.reason) {
        Fail("whole and piece reads disagree", name + u": " + fetched.reason + u" / " + inPieces.reason);
    }
    if (fetched && !pieces.Same()) {
        Fail("piece read gives other bytes than the whole read", name);
    }
    TEntryDescription description;
    CheckExpected(DescribeEntry(reader, entry, description), "unexpected failure of a description");
    return fetched ? std::optional<size_t>(whole.size()) : std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchArchive scratch;
    scratch.Replace(data, size);
    const std::u16string& path = scratch.Path();

    TOpenedArchive opened = OpenArchive(path);
    CheckExpected(opened.result, "unexpected failure to open");
    if (!opened.result) {
        if (opened.reader) {
            Fail("a reader after a failed open", path);
        }
        return 0;
    }
    TwbBSAFile& reader = *opened.reader;

    // The sizes a listing shows: an entry that reads has the size it reads to.
    const std::vector<uint32_t> sizes = reader.ReadEntrySizes();
    if (sizes.size() != reader.FileCount()) {
        Fail("not one size per entry", path);
    }
    for (TEntryRef entry = 0; entry < reader.FileCount(); ++entry) {
        const std::u16string entryString = reader.EntryString(entry);
        // Its own entry string finds an entry of that very string (the first of several alike), unless the
        // file name itself holds a "\" or ":", where an entry string cannot tell folder and file apart.
        const std::u16string fileName = reader.Index().FileName(entry);
        const std::optional<TEntryRef> found = reader.FindEntry(entryString);
        if (fileName.find_first_of(u"\\:") == std::u16string::npos &&
            (!found || reader.EntryString(*found) != entryString)) {
            Fail("a listed entry string does not find its entry", entryString);
        }
        const std::optional<size_t> readSize = FetchBothWays(reader, entry);
        if (readSize && *readSize != sizes[entry]) {
            Fail("an entry reads to another size than its listed one", entryString);
        }
        const rFileData parts = SplitEntryPath(entryString);
        if (!UnsafeEntryPathReason(parts).has_value()) {
            CheckStaysBelowDestination(parts);
        }
    }
    CheckPlan(reader, false);
    CheckPlan(reader, true);

    // Names the archive does not list: lookups must miss (or hit) cleanly, also in an empty archive.
    const std::u16string someFolder =
        reader.FileCount() > 0 ? SplitEntryPath(reader.EntryString(0)).fPath : u"";
    for (const std::u16string& missing :
         {std::u16string(u""), someFolder + u"\\no such file.dds", someFolder + u"\\no such folder\\a.nif",
          std::u16string(u"MESHES/ACTORS/BODY.NIF")}) {
        if (const std::optional<TEntryRef> found = FindEntryByString(reader, missing)) {
            FetchBothWays(reader, *found);
        }
    }
    return 0;
}
