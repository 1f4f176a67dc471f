// The free space of the file system that holds a folder, or will hold it once it is made.
#include <filesystem>

#include <gtest/gtest.h>

#include "fixtures/temp_folder.h"
#include "platform/directories.h"

namespace {

namespace fs = std::filesystem;

TEST(FreeDiskSpace, AFolderNotMadeYetIsAskedOfItsNearestParent) {
    const fixture::TempFolder temp;
    uint64_t existing = 0;
    ASSERT_TRUE(platform::FreeDiskSpace(temp.Path().u16string(), existing));
    EXPECT_GT(existing, 0u);
    const uint64_t reported = fs::space(temp.Path()).available;
    EXPECT_LT(existing > reported ? existing - reported : reported - existing, uint64_t{64} << 20)
        << "what the system says of the same file system";
    uint64_t notMade = 0;
    ASSERT_TRUE(platform::FreeDiskSpace((temp / "not" / "made" / "yet").u16string(), notMade));
    EXPECT_LT(notMade > existing ? notMade - existing : existing - notMade, uint64_t{64} << 20);
    EXPECT_FALSE(fs::exists(temp / "not"));

    // A file where a folder would be: the folder can never be made there.
    temp.Write("file", {1});
    uint64_t below = 0;
    EXPECT_FALSE(platform::FreeDiskSpace((temp / "file" / "x").u16string(), below));
}

} // namespace
