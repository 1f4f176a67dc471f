// Writing one fetched entry: its folders are made on the way, an existing file is replaced, and a file that
// cannot be created raises the stream's error.
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/entry_writer.h"
#include "base/ustring.h"
#include "platform/file.h"
#include "tests/archive/archive_test_util.h"

namespace {

using archive_test::Bytes;
using archive_test::Raised;
using archive_test::RaisedBy;

TEST(WriteEntryFile, CreatesMissingFoldersAndWritesEveryByte) {
    const fixture::TempFolder temp;
    const std::vector<uint8_t> data = fixture::RandomBytes(100000, 1); // several cache blocks
    const std::filesystem::path folder = temp / "a" / "b" / "c";
    WriteEntryFile(FromUtf8(folder.string()), FromUtf8((folder / "x.bin").string()), data);
    EXPECT_EQ(fixture::ReadWholeFile(folder / "x.bin"), data);
}

TEST(WriteEntryFile, ReplacesAnExistingLongerFile) {
    const fixture::TempFolder temp;
    const std::u16string file = temp.Write("x.txt", fixture::RandomBytes(50000, 2));
    WriteEntryFile(FromUtf8(temp.Path().string()), file, Bytes("short"));
    EXPECT_EQ(fixture::ReadWholeFile(temp / "x.txt"), Bytes("short"));
}

#ifndef _WIN32
TEST(WriteEntryFile, FolderThatCannotBeMadeShowsAsTheCreateError) {
    const fixture::TempFolder temp;
    temp.Write("blocker", Bytes("a file where a folder should be"));
    const std::u16string folder = FromUtf8((temp / "blocker" / "sub").string());
    const std::u16string file = FromUtf8((temp / "blocker" / "sub" / "x.txt").string());
    EXPECT_EQ(RaisedBy([&] { WriteEntryFile(folder, file, Bytes("data")); }),
              (Raised{"EStreamError",
                      "Cannot create " + ToUtf8(file) + ".  " + ToUtf8(platform::SystemErrorText(ENOTDIR))}));
}
#endif

} // namespace
