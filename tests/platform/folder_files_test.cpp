// Where a path the user gave names a file: the folder to open and the name inside it, or no file at all.
#include <gtest/gtest.h>

#include <string>

#include "base/ustring.h"
#include "platform/folder_files.h"

namespace {

struct SplitCase {
    std::u16string path;
    bool split;
    std::u16string folder;
    std::u16string name;
};

TEST(SplitFilePath, GivesTheFolderAndTheNameOrRefusesAPathWithoutOne) {
#ifdef _WIN32
    // The system's reading: absolute, either separator, with the long-path prefix; devices are no files.
    const SplitCase cases[] = {
        {u"C:\\out\\x.png", true, u"\\\\?\\C:\\out", u"x.png"},
        {u"C:/out/sub/../x.png", true, u"\\\\?\\C:\\out", u"x.png"},
        {u"C:\\x.png", true, u"\\\\?\\C:\\", u"x.png"},
        {u"\\\\server\\share\\x.png", true, u"\\\\?\\UNC\\server\\share", u"x.png"},
        {u"C:\\out\\", false, u"", u""},
        {u"NUL", false, u"", u""},
        {u"CON", false, u"", u""},
        {u"", false, u"", u""},
    };
#else
    const SplitCase cases[] = {
        {u"x.png", true, u".", u"x.png"},
        {u"out/x.png", true, u"out", u"x.png"},
        {u"/x.png", true, u"/", u"x.png"},
        {u"/a//b/x.png", true, u"/a//b", u"x.png"},
        {u"back\\slash.png", true, u".", u"back\\slash.png"}, // "\" is part of a name here
        {u"-", true, u".", u"-"},
        {u"out/", false, u"", u""},
        {u"/", false, u"", u""},
        {u"out/.", false, u"", u""},
        {u"out/..", false, u"", u""},
        {u"..", false, u"", u""},
        {u"", false, u"", u""},
    };
#endif
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(ToUtf8(c.path));
        std::u16string folder;
        std::u16string name;
        EXPECT_EQ(platform::SplitFilePath(c.path, folder, name), c.split);
        if (c.split) {
            EXPECT_EQ(ToUtf8(folder), ToUtf8(c.folder));
            EXPECT_EQ(ToUtf8(name), ToUtf8(c.name));
        }
    }
}

} // namespace
