// Files written together: each whole under its name or, when one of its steps fails, not at all, with
// nothing of it left behind and the others written all the same.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "base/ustring.h"
#include "fixtures/file_tree.h"
#include "fixtures/temp_folder.h"
#include "platform/file_batch.h"

namespace {

namespace fs = std::filesystem;

TEST(FileBatch, AFileWhoseStepFailsIsNotWrittenAndLeavesNothing) {
    platform::TFileBatch batch(4);
    if (!batch.Works()) {
        GTEST_SKIP() << "this system writes files one by one";
    }
    const fixture::TempFolder temp;
    fs::create_directories(temp / "taken" / "inside"); // a folder at a file's name: its rename fails
    std::ofstream(temp / "old.txt") << "old";
    const platform::FolderHandle folder = platform::FolderOpen(FromUtf8(temp.Path().string()));
    ASSERT_NE(folder, platform::kInvalidFolderHandle);
    const std::string bytes[] = {"first", "second", "third"};
    const std::u16string names[] = {u"new.txt", u"taken", u"old.txt"};
    for (int round = 0; round < 2; ++round) { // a batch serves again after a failure
        SCOPED_TRACE(round);
        for (int i = 0; i < 3; ++i) {
            batch.Add(folder, u".tmp-", names[i], bytes[i].data(), static_cast<uint32_t>(bytes[i].size()));
        }
        std::vector<bool> written;
        batch.Run(written);
        EXPECT_EQ(written, (std::vector<bool>{true, false, true}));
        EXPECT_EQ(batch.Size(), 0u);
        EXPECT_EQ(fixture::TreeOf(temp.Path()),
                  (std::map<std::string, std::vector<uint8_t>>{{"new.txt", fixture::TextBytes("first")},
                                                               {"old.txt", fixture::TextBytes("third")}}));
        EXPECT_TRUE(fs::is_directory(temp / "taken" / "inside"));
        EXPECT_TRUE(batch.Works());
    }
    platform::FolderClose(folder);
}

TEST(FileBatch, RefusedBatchesLeaveEveryFileToTheCaller) {
    platform::SetFileBatchesRefusedForTesting(true);
    platform::TFileBatch batch(2);
    platform::SetFileBatchesRefusedForTesting(false);
    EXPECT_FALSE(batch.Works());
    const fixture::TempFolder temp;
    const platform::FolderHandle folder = platform::FolderOpen(FromUtf8(temp.Path().string()));
    batch.Add(folder, u".tmp-", u"a.txt", "a", 1);
    std::vector<bool> written;
    batch.Run(written);
    EXPECT_EQ(written, std::vector<bool>{false});
    EXPECT_TRUE(fs::is_empty(temp.Path()));
    platform::FolderClose(folder);
}

} // namespace
