// A Data folder's loose files read and extracted as archive entries are: the loose file that wins a path is
// what is written for it, the file is read again at extraction (one that went, became something else or
// changed size since the folder was read fails with that reason, never passes for written), large files go
// in bounded pieces, and the result is the same for any number of jobs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "base/ustring.h"
#include "data_folder/data_folder.h"
#include "data_folder/loose_file_entries.h"
#include "data_folder/row_extraction.h"
#include "platform/directories.h"
#include "platform/file.h"
#include "tests/data_folder/data_folder_test_util.h"

namespace {

namespace fs = std::filesystem;
using namespace data_folder_test;

// More than three pieces of a copy, and not a whole number of them.
constexpr size_t kLargeSize = 3 * kLooseFilePieceBytes + 17;

const std::vector<uint8_t>& LargeBytes() {
    static const std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> made(kLargeSize);
        for (size_t i = 0; i < made.size(); ++i) {
            made[i] = static_cast<uint8_t>((i * 31 + i / 4093) % 251);
        }
        return made;
    }();
    return bytes;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A Data folder whose archive has meshes\a.nif and meshes\b.nif, and whose loose files override the first
// and add a large texture.
struct LooseDataFolder {
    fixture::TempFolder temp;
    fs::path data = temp.Path() / "Data";
    std::unique_ptr<TDataFolder> folder;

    LooseDataFolder() {
        fs::create_directories(data);
        WriteFile(data / "Skyrim - Meshes.bsa",
                  fixture::BuildArchive(
                      Recipe(105, {{"meshes\\a.nif", "archive a"}, {"meshes\\b.nif", "archive b"}})));
        WriteFile(data / "meshes" / "a.nif", fixture::TextBytes("loose a"));
        WriteFile(data / "textures" / "big.dds", LargeBytes());
        TDataFolderOptions options;
        options.looseFiles = true;
        std::u16string why;
        folder = OpenDataFolder(data.u16string(), options, why);
    }

    std::vector<TOverrideTable::TRowIndex> AllRows() const {
        std::vector<TOverrideTable::TRowIndex> rows(folder->table.Rows().size());
        for (size_t i = 0; i < rows.size(); ++i) {
            rows[i] = static_cast<TOverrideTable::TRowIndex>(i);
        }
        return rows;
    }
};

struct Outcome {
    std::map<std::string, std::vector<uint8_t>> files;
    std::vector<std::string> reports;
    int written = 0;
    int failed = 0;
    int overridden = 0;
    int leftOut = 0;
};

Outcome Extract(LooseDataFolder& data, const fs::path& out, bool winnersOnly, int jobs) {
    Outcome outcome;
    TRowExtractListener listener;
    listener.notExtracted = [&](const TDataSource& source, const std::u16string& entry,
                                const std::u16string& reason) {
        outcome.reports.push_back(ToUtf8(source.name + u": " + entry + u" (" + reason + u")"));
    };
    listener.overridden = [&](const TDataSource& source, const std::u16string& entry,
                              const TDataSource& winner) {
        outcome.reports.push_back(ToUtf8(source.name + u": " + entry + u" overridden by " + winner.name));
    };
    TRowExtractOptions options;
    options.extract.jobs = jobs;
    options.winnersOnly = winnersOnly;
    const TRowExtractSummary summary =
        ExtractRows(*data.folder, data.AllRows(), out.u16string(), options, listener);
    outcome.files = fixture::TreeOf(out);
    outcome.written = summary.written;
    outcome.failed = summary.failed;
    outcome.overridden = summary.overridden;
    outcome.leftOut = summary.leftOut;
    return outcome;
}

// What the loose a.nif becomes between the scan and the extraction.
using Change = std::function<void(const fs::path& looseA)>;

TEST(LooseFileExtraction, WritesTheLooseWinnerOrFailsWithWhyItCannot) {
    const std::string noSuchFile = ToUtf8(platform::SystemErrorText(ENOENT));
    const struct Case {
        const char* name;
        Change change;
        bool winnersOnly;
        std::string looseA;      // the bytes written for Meshes/a.nif; empty: none
        std::string looseReason; // why the loose a.nif was not written
        int overridden;
        int leftOut;
    } cases[] = {
        {"unchanged, every row", nullptr, false, "loose a", "", 1, 0},
        {"unchanged, winners only", nullptr, true, "loose a", "", 0, 1},
        {"gone", [](const fs::path& a) { fs::remove(a); }, true, "", noSuchFile, 0, 1},
        {"a folder now",
         [](const fs::path& a) {
             fs::remove(a);
             fs::create_directory(a);
         },
         true, "", ToUtf8(kLooseFileNotRegular), 0, 1},
        {"longer now", [](const fs::path& a) { WriteFile(a, fixture::TextBytes("loose a, edited")); }, true,
         "", ToUtf8(LooseFileChangedReason(7, 15)), 0, 1},
#ifndef _WIN32
        // Opening a FIFO for reading would wait for a writer for ever.
        {"a FIFO now",
         [](const fs::path& a) {
             fs::remove(a);
             ASSERT_EQ(mkfifo(a.c_str(), 0600), 0);
         },
         true, "", ToUtf8(kLooseFileNotRegular), 0, 1},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LooseDataFolder data;
        ASSERT_TRUE(data.folder);
        ASSERT_EQ(data.folder->sources.back().name, kLooseFilesName);
        if (c.change) {
            c.change(data.data / "meshes" / "a.nif");
        }
        std::map<std::string, std::vector<uint8_t>> expected{
            {"meshes/b.nif", fixture::TextBytes("archive b")}, {"textures/big.dds", LargeBytes()}};
        std::vector<std::string> reports;
        if (!c.winnersOnly) {
            reports.push_back("Skyrim - Meshes.bsa: meshes\\a.nif overridden by loose files");
        }
        if (c.looseA.empty()) {
            reports.push_back("loose files: meshes\\a.nif (" + c.looseReason + ")");
        } else {
            expected["meshes/a.nif"] = fixture::TextBytes(c.looseA);
        }
        // The loose a.nif read for a preview fails for the same reason.
        TLooseFileEntries entries(*data.folder->sources.back().loose);
        const std::optional<TEntryRef> a = FindEntryByString(entries.Index(), u"meshes\\a.nif");
        ASSERT_TRUE(a);
        TBytes read{1, 2, 3};
        const TFetchResult fetched = entries.Fetch(*a, read);
        EXPECT_EQ(ToUtf8(fetched.reason), c.looseReason);
        EXPECT_EQ(read, c.looseA.empty() ? TBytes() : fixture::TextBytes(c.looseA));

        for (const int jobs : {1, 3}) {
            SCOPED_TRACE(jobs);
            const Outcome outcome =
                Extract(data, data.temp.Path() / ("out" + std::to_string(jobs)), c.winnersOnly, jobs);
            EXPECT_EQ(outcome.files, expected);
            EXPECT_EQ(outcome.reports, reports);
            EXPECT_EQ(outcome.written, static_cast<int>(expected.size()));
            EXPECT_EQ(outcome.failed, c.looseA.empty() ? 1 : 0);
            EXPECT_EQ(outcome.overridden, c.overridden);
            EXPECT_EQ(outcome.leftOut, c.leftOut);
        }
    }
}

// Where a copy's bytes go, and the largest piece handed over at once.
class RecordingDestination : public TEntryDestination {
public:
    TStream& Begin(uint64_t size) override {
        announced = size;
        return stream_;
    }
    uint64_t announced = 0;
    TBytes bytes;
    int32_t largestWrite = 0;

private:
    class Stream : public TStream {
    public:
        explicit Stream(RecordingDestination& owner) : owner_(owner) {}
        int32_t Read(void*, int32_t) override { return 0; }
        int32_t Write(const void* buffer, int32_t count) override {
            const auto* bytes = static_cast<const uint8_t*>(buffer);
            owner_.bytes.insert(owner_.bytes.end(), bytes, bytes + count);
            owner_.largestWrite = std::max(owner_.largestWrite, count);
            return count;
        }
        int64_t Seek(int64_t, TSeekOrigin) override { return static_cast<int64_t>(owner_.bytes.size()); }
        using TStream::Seek;

    private:
        RecordingDestination& owner_;
    };
    Stream stream_{*this};
};

TEST(LooseFileExtraction, CopiesALargeFileInBoundedPieces) {
    LooseDataFolder data;
    ASSERT_TRUE(data.folder);
    TLooseFileEntries entries(*data.folder->sources.back().loose);
    const std::optional<TEntryRef> big = FindEntryByString(entries.Index(), u"textures\\big.dds");
    ASSERT_TRUE(big);
    EXPECT_EQ(entries.EntryLeastSize(*big), kLargeSize);
    RecordingDestination destination;
    const TFetchResult fetched = entries.FetchInPieces(*big, destination);
    EXPECT_TRUE(fetched) << ToUtf8(fetched.reason);
    EXPECT_EQ(destination.announced, kLargeSize);
    EXPECT_TRUE(destination.bytes == LargeBytes());
    EXPECT_EQ(destination.largestWrite, kLooseFilePieceBytes);

    // Shrunk after the walk: refused before the first byte.
    fs::resize_file(data.data / "textures" / "big.dds", 1000);
    RecordingDestination shrunk;
    EXPECT_EQ(entries.FetchInPieces(*big, shrunk).reason, LooseFileChangedReason(kLargeSize, 1000));
    EXPECT_TRUE(shrunk.bytes.empty());
}

// Reads past the first piece of a file fail, as a failing disk's would.
uint32_t FailPastTheFirstPiece(platform::FileHandle, int64_t position, int32_t) {
    return position >= kLooseFilePieceBytes ? EIO : 0;
}

TEST(LooseFileExtraction, AReadErrorWhileCopyingLeavesNoFileAndIsAFailure) {
    LooseDataFolder data;
    ASSERT_TRUE(data.folder);
    platform::SetReadFaultForTesting(FailPastTheFirstPiece);
    const Outcome outcome = Extract(data, data.temp.Path() / "out", true, 1);
    platform::SetReadFaultForTesting(nullptr);
    // Nothing of the texture stays, not even its temporary file.
    EXPECT_EQ(outcome.files, (std::map<std::string, std::vector<uint8_t>>{
                                 {"meshes/a.nif", fixture::TextBytes("loose a")},
                                 {"meshes/b.nif", fixture::TextBytes("archive b")}}));
    EXPECT_EQ(outcome.reports, (std::vector<std::string>{"loose files: textures\\big.dds (" +
                                                         ToUtf8(platform::SystemErrorText(EIO)) + ")"}));
    EXPECT_EQ(outcome.failed, 1);
}

} // namespace
