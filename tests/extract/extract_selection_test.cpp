// The extraction of a selection on one or several workers: whatever the archive names and however many
// workers there are, every entry gets its own bytes and the same reports come out.
#include <filesystem>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/ustring.h"
#include "extract/extract_selection.h"
#include "fixtures/bsa_writer.h"
#include "fixtures/file_tree.h"
#include "fixtures/temp_folder.h"
#include "platform/directories.h"
#include "platform/folder_files.h"
#include "tests/archive/archive_test_util.h"

namespace {

using fixture::TreeOf;

namespace fs = std::filesystem;
using fixture::ReadWholeFile;

// Every entry of the archive, in listing order.
std::vector<TEntryRef> EntriesOf(const TwbBSAFile& archive) {
    std::vector<TEntryRef> entries(archive.FileCount());
    std::iota(entries.begin(), entries.end(), TEntryRef{0});
    return entries;
}

// The name the platform gives the next temporary file of this process made with the bare prefix: what a
// predictable naming scheme would use next.
std::u16string NextPredictableTemporaryName(const fs::path& scratch) {
    fs::create_directories(scratch);
    const platform::FolderHandle folder = platform::FolderOpen(FromUtf8(scratch.string()));
    std::u16string name;
    const platform::FileHandle file = platform::FileCreateUnique(folder, u".parlivex-", name);
    platform::FileClose(file);
    platform::FileRemove(folder, name);
    platform::FolderClose(folder);
    return name;
}

// Entries named as the temporary files of the run would be under a predictable scheme (the process id and a
// counter): a worker renaming such an entry into place must never replace another worker's temporary file.
TEST(ExtractEntries, EntriesNamedLikeTemporaryFilesKeepTheirOwnBytes) {
    const fixture::TempFolder temp;
    for (const int jobs : {2, 4}) {
        SCOPED_TRACE(jobs);
        const std::u16string probe = NextPredictableTemporaryName(temp / "probe");
        const size_t lastDash = probe.rfind(u'-');
        const std::string stem = ToUtf8(probe.substr(0, lastDash + 1));
        const int next = std::stoi(ToUtf8(probe.substr(lastDash + 1)));
        fixture::ArchiveSpec recipe;
        recipe.folders = {{"d"}};
        std::map<std::string, std::vector<uint8_t>> expected;
        for (int i = 0; i < 40; ++i) {
            const std::string name = stem + std::to_string(next + i);
            recipe.folders[0].files.push_back(
                {name, fixture::RandomBytes(1 << 20, static_cast<uint32_t>(i))});
            expected["d/" + name] = recipe.folders[0].files.back().data;
        }
        const std::string archiveName = "a" + std::to_string(jobs) + ".bsa";
        archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, recipe, archiveName);
        const fs::path out = temp / ("out" + std::to_string(jobs));
        const ExtractSummary summary = ExtractEntries(*archive.bsa, EntriesOf(*archive.bsa),
                                                      FromUtf8(out.string()), ExtractOptions{jobs}, {});
        EXPECT_EQ(summary.failed, 0);
        EXPECT_TRUE(TreeOf(out) == expected) << "an entry is missing or holds another's bytes";
    }
}

// Without folders every file lands in the destination itself; a file name met again in another folder is
// reported as the same destination as the first, for any number of workers.
TEST(ExtractEntries, WithoutFoldersTheFilesStandSideBySide) {
    const fixture::TempFolder temp;
    fixture::ArchiveSpec recipe;
    recipe.folders = {{"a\\deep", {{"x.txt", TextBytes("first")}, {"y.txt", TextBytes("y")}}},
                      {"b", {{"x.txt", TextBytes("second")}, {"z.txt", TextBytes("z")}}}};
    archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, recipe);
    for (const int jobs : {1, 3}) {
        SCOPED_TRACE(jobs);
        const fs::path out = temp / ("flat" + std::to_string(jobs));
        std::vector<std::pair<std::u16string, std::u16string>> reports;
        ExtractListener listener;
        listener.notExtracted = [&](const std::u16string& entry, const std::u16string& reason) {
            reports.emplace_back(entry, reason);
        };
        ExtractOptions options{jobs};
        options.withoutFolders = true;
        const ExtractSummary summary =
            ExtractEntries(*archive.bsa, EntriesOf(*archive.bsa), FromUtf8(out.string()), options, listener);
        EXPECT_EQ(TreeOf(out),
                  (std::map<std::string, std::vector<uint8_t>>{
                      {"x.txt", TextBytes("first")}, {"y.txt", TextBytes("y")}, {"z.txt", TextBytes("z")}}));
        EXPECT_EQ(summary.written, 3);
        EXPECT_EQ(reports, (std::vector<std::pair<std::u16string, std::u16string>>{
                               {u"b\\x.txt", u"same destination as a\\deep\\x.txt"}}));
    }
}

// Reports come in list order as the run goes, the same ones for any number of workers, and the summary
// counts them.
TEST(ExtractEntries, ReportsComeInListOrderAsTheRunGoesWithAnyNumberOfJobs) {
    const fixture::TempFolder temp;
    fixture::ArchiveSpec recipe;
    recipe.version = 104;
    recipe.folders = {{"a"}, {"b"}};
    for (int i = 0; i < 1000; ++i) {
        const std::string name = "e" + std::to_string(1000 + i);
        switch (i % 4) {
        case 0:
            recipe.folders[0].files.push_back({name + ".bin", {static_cast<uint8_t>(i)}});
            break;
        case 1:
            recipe.folders[0].files.push_back({name + "<.bin", {1}}); // refused
            break;
        case 2: {
            fixture::EntrySpec damaged{name + ".nif", fixture::CompressibleBytes(100, 1),
                                       fixture::Storage::Zlib};
            damaged.packedOverride = std::vector<uint8_t>(20, 0xAB);
            recipe.folders[0].files.push_back(damaged);
            break;
        }
        default:
            recipe.folders[1].files.push_back({name + ".txt", {}}); // empty
            break;
        }
    }
    archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, recipe);
    const std::vector<TEntryRef> entries = EntriesOf(*archive.bsa);

    std::vector<std::string> firstReports;
    for (const int jobs : {1, 2, 4}) {
        SCOPED_TRACE(jobs);
        std::vector<std::string> reports;
        int done = 0;
        int doneAtFirstReport = -1;
        ExtractListener listener;
        listener.notExtracted = [&](const std::u16string& entry, const std::u16string& reason) {
            doneAtFirstReport = doneAtFirstReport < 0 ? done : doneAtFirstReport;
            reports.push_back(ToUtf8(entry) + ": " + ToUtf8(reason));
        };
        listener.progress = [&](int now, int total) {
            EXPECT_EQ(now, done + 1);
            EXPECT_EQ(total, static_cast<int>(entries.size()));
            done = now;
        };
        const fs::path out = temp / ("out" + std::to_string(jobs));
        const ExtractSummary summary =
            ExtractEntries(*archive.bsa, entries, FromUtf8(out.string()), ExtractOptions{jobs}, listener);
        EXPECT_EQ(done, 1000);
        EXPECT_EQ(summary.written, 250);
        EXPECT_EQ(summary.empty, 250);
        EXPECT_EQ(summary.failed, 500);
        EXPECT_FALSE(summary.cancelled);
        ASSERT_EQ(reports.size(), 500u);
        EXPECT_EQ(reports[0], "a\\e1001<.bin: refused: '<' in a name");
        EXPECT_EQ(reports[1].rfind("a\\e1002.nif: ", 0), 0u) << reports[1];
        EXPECT_LT(doneAtFirstReport, 10) << "the first report waited for the end of the run";
        if (firstReports.empty()) {
            firstReports = reports;
        }
        EXPECT_EQ(reports, firstReports);
    }
}

// The free space the destination's file system reports, made small for the tests below.
uint64_t gFreeSpace = 0;
uint64_t FakeFreeSpace(const std::u16string&) {
    return gFreeSpace;
}

class FreeSpaceFake {
public:
    explicit FreeSpaceFake(uint64_t bytes) {
        gFreeSpace = bytes;
        platform::SetFreeDiskSpaceForTesting(FakeFreeSpace);
    }
    ~FreeSpaceFake() { platform::SetFreeDiskSpaceForTesting(nullptr); }
    FreeSpaceFake(const FreeSpaceFake&) = delete;
    FreeSpaceFake& operator=(const FreeSpaceFake&) = delete;
};

size_t FilesBelow(const fs::path& root) {
    size_t files = 0;
    if (fs::exists(root)) {
        for (const auto& item : fs::recursive_directory_iterator(root)) {
            files += item.is_directory() ? 0 : 1;
        }
    }
    return files;
}

// Entries that need more than the disk has free, by their stored sizes alone, are not started: one message
// names both figures, and nothing is written. Entries refused or colliding, and entries that would come
// from nothing packed, do not count.
TEST(ExtractEntries, EntriesThatCannotFitAreNotStarted) {
    const fixture::TempFolder temp;
    fixture::ArchiveSpec recipe;
    recipe.version = 104;
    fixture::EntrySpec nothingPacked{"zeros.bin", {}, fixture::Storage::Zlib};
    nothingPacked.packedOverride = std::vector<uint8_t>{};
    nothingPacked.uncompressedSizeOverride = 1 << 20;
    recipe.folders = {{"a",
                       {{"1.bin", fixture::RandomBytes(600, 1)},
                        {"2.bin", fixture::RandomBytes(600, 2)},
                        {"3.bin", fixture::RandomBytes(600, 3)},
                        {"bad<.bin", fixture::RandomBytes(5000, 4)},
                        nothingPacked}},
                      {"a\\.", {{"1.bin", fixture::RandomBytes(5000, 5)}}}};
    archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, recipe);
    const FreeSpaceFake disk(1000);
    for (const int jobs : {1, 2}) {
        const fs::path out = temp / ("out" + std::to_string(jobs));
        const std::u16string destination = FromUtf8(out.string());
        std::vector<std::string> reports;
        ExtractListener listener;
        listener.notExtracted = [&](const std::u16string& entry, const std::u16string&) {
            reports.push_back(ToUtf8(entry));
        };
        const ExtractSummary summary = ExtractEntries(*archive.bsa, EntriesOf(*archive.bsa), destination,
                                                      ExtractOptions{jobs}, listener);
        EXPECT_EQ(ToUtf8(summary.noSpace), "Not enough free space in " + out.string() +
                                               ": the entries need at least 1800 bytes (1.8 KiB), 1000 bytes "
                                               "are free");
        EXPECT_EQ(summary.written + summary.empty + summary.failed, 0);
        EXPECT_EQ(summary.notDone, 6) << "not one entry was started";
        EXPECT_FALSE(summary.cancelled);
        EXPECT_TRUE(reports.empty());
        EXPECT_EQ(FilesBelow(out), 0u);
    }
}

// Entries that need more than their stored sizes say (nothing packed stands for zero bytes) are written while
// they fit; the first that would not stops the run with the same message, and nothing is left half written.
TEST(ExtractEntries, TheFirstEntryThatWouldNotFitStopsTheRun) {
    const fixture::TempFolder temp;
    fixture::ArchiveSpec recipe;
    recipe.version = 105;
    recipe.flags = 0x7; // compressed by default
    recipe.folders = {{"z"}};
    for (int i = 0; i < 6; ++i) {
        fixture::EntrySpec zeros{"z" + std::to_string(i) + ".bin", {}, fixture::Storage::Lz4Frame};
        zeros.packedOverride = std::vector<uint8_t>{};
        zeros.uncompressedSizeOverride = 1 << 20;
        recipe.folders[0].files.push_back(zeros);
    }
    archive_test::OpenedArchive archive = archive_test::OpenFixture(temp, recipe);
    const FreeSpaceFake disk(5 << 19); // room for two and a half
    for (const int jobs : {1, 2}) {
        SCOPED_TRACE(jobs);
        const fs::path out = temp / ("out" + std::to_string(jobs));
        int reports = 0;
        ExtractListener listener;
        listener.notExtracted = [&](const std::u16string&, const std::u16string&) { ++reports; };
        const ExtractSummary summary = ExtractEntries(*archive.bsa, EntriesOf(*archive.bsa),
                                                      FromUtf8(out.string()), ExtractOptions{jobs}, listener);
        EXPECT_EQ(ToUtf8(summary.noSpace), "Not enough free space in " + out.string() +
                                               ": the entries need at least 3145728 bytes (3.0 MiB), 2621440 "
                                               "bytes (2.5 MiB) are free");
        EXPECT_EQ(summary.written, 2);
        EXPECT_EQ(summary.notDone, 4);
        EXPECT_EQ(reports, 0);
        EXPECT_FALSE(summary.cancelled);
        EXPECT_EQ(FilesBelow(out), 2u) << "two whole files and no temporary one";
        if (jobs == 1) {
            EXPECT_EQ(ReadWholeFile(out / "z" / "z0.bin"), std::vector<uint8_t>(1 << 20, 0));
            EXPECT_EQ(ReadWholeFile(out / "z" / "z1.bin"), std::vector<uint8_t>(1 << 20, 0));
        }
    }
}

} // namespace
