// Entry strings split into folder, name and extension; which entries may be written below a destination; and
// where they land. A hostile archive proves that nothing it holds can be written outside the destination.
#include <algorithm>
#include <filesystem>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/bsa_file.h"
#include "base/ustring.h"
#include "extract/destination_folder.h"
#include "extract/entry_path.h"
#include "extract/extract_entry.h"
#include "extract/extraction_plan.h"
#include "platform/directories.h"
#include "platform/folder_files.h"
#include "tests/archive/archive_test_util.h"

namespace {

using archive_test::Entry;
using archive_test::TextBytes;

// A native path from one written with "/".
std::u16string Native(const std::string& path) {
    std::u16string native = FromUtf8(path);
    for (char16_t& c : native) {
        if (c == u'/') {
            c = platform::kPathDelimiter;
        }
    }
    return native;
}

TEST(SplitEntryPath, SplitsAtTheLastDelimiterAndTheLastDotAfterIt) {
    struct Case {
        std::u16string entry, path, name, ext;
    };
    const std::vector<Case> cases = {
        {u"textures\\armor\\iron.dds", u"textures\\armor", u"iron", u".dds"},
        {u"sound\\fx\\a.b.wav", u"sound\\fx", u"a.b", u".wav"},
        {u"\\readme.txt", u"", u"readme", u".txt"},
        {u"fbk_Nothing_Found", u"", u"fbk_Nothing_Found", u""},
        {u"meshes\\v1.2\\noext", u"meshes\\v1.2", u"noext", u""},
        {u"meshes\\\\x.nif", u"meshes\\", u"x", u".nif"},
        {u".\\readme.txt", u".", u"readme", u".txt"},
        {u"a\\.hidden", u"a", u"", u".hidden"},
        {u"a\\..", u"a", u".", u"."},
        {u"C:x.txt", u"C:", u"x", u".txt"},
        {u"C:\\x.txt", u"C:", u"x", u".txt"},
        {u"dir\\", u"dir", u"", u""},
        {u"\u00e4rmel\\Caf\u00e9.TXT", u"\u00e4rmel", u"Caf\u00e9", u".TXT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.entry));
        const rFileData parts = SplitEntryPath(c.entry);
        EXPECT_EQ(ToUtf8(parts.fPath), ToUtf8(c.path));
        EXPECT_EQ(ToUtf8(parts.fName), ToUtf8(c.name));
        EXPECT_EQ(ToUtf8(parts.fExt), ToUtf8(c.ext));
    }
}

TEST(UnsafeEntryPathReason, RefusesEntriesThatCouldLeaveTheDestination) {
    struct Case {
        std::u16string entry;
        std::optional<std::string> reason;
    };
    const std::vector<Case> cases = {
        {u"..\\evil.txt", "'..' component"},
        {u"a\\..\\..\\b.txt", "'..' component"},
        {u"a\\..\\b\\c.txt", "'..' component"},
        {u"C:\\x.txt", "drive prefix"},
        {u"c:x.txt", "drive prefix"},
        {u"a\\b:c\\x.txt", "alternate data stream"},
        {u"a\\readme.txt:hidden", "alternate data stream"},
        {u"a\\readme.txt::$DATA", "alternate data stream"},
        {u"\\\\server\\share\\x.txt", "absolute path"},
        {u"\\windows\\x.txt", "absolute path"},
        {u"/etc\\passwd", "'/' in a name"},
        {u"a/../b.txt", "'/' in a name"},
        {u"meshes\\x/y.nif", "'/' in a name"},
        {u"..", "invalid file name"},
        {u"a\\..", "invalid file name"},
        {u".", "invalid file name"},
        {u"a\\.", "invalid file name"},
        {u"a\\", "invalid file name"},
        {u"", "invalid file name"},
        {u"a\\b\u0001.txt", "control character"},
        {u"a\ttab\\b.txt", "control character"},
        {u"a\\b\u007f.txt", "control character"},
        {u".\\readme.txt", std::nullopt},
        {u"\\readme.txt", std::nullopt},
        {u"meshes\\\\x.nif", std::nullopt},
        {u"textures\\armor\\iron.dds", std::nullopt},
        {u"a\\.\\b\\...txt", std::nullopt},
        {u"a\\..b\\c..d", std::nullopt},
        {u"\u00e4rmel\\Caf\u00e9 \u4e2d\u6587.txt", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.entry));
        const std::optional<std::u16string> reason = UnsafeEntryPathReason(SplitEntryPath(c.entry));
        EXPECT_EQ(reason ? std::optional<std::string>(ToUtf8(*reason)) : std::nullopt, c.reason);
    }
}

// Names Windows would not create as they stand are refused everywhere: an archive extracted on Linux may
// still be passed on to a Windows user, and Windows would write a device or drop the dot.
TEST(UnsafeEntryPathReason, RefusesNamesWindowsCannotCreate) {
    struct Case {
        std::u16string entry;
        std::optional<std::string> reason;
    };
    const std::vector<Case> cases = {
        {u"a\\CON", "reserved device name"},
        {u"a\\con.txt", "reserved device name"},
        {u"a\\Nul.tar.gz", "reserved device name"},
        {u"a\\aux .dds", "reserved device name"},
        {u"PRN\\x.txt", "reserved device name"},
        {u"a\\com1\\x.txt", "reserved device name"},
        {u"a\\LPT9.nif", "reserved device name"},
        {u"a\\COM\u00b9.txt", "reserved device name"},
        {u"a\\conout$", "reserved device name"},
        {u"a\\x.txt.", "name ends in a dot or space"},
        {u"a\\x.txt ", "name ends in a dot or space"},
        {u"a.\\x.txt", "name ends in a dot or space"},
        {u"a \\x.txt", "name ends in a dot or space"},
        {u"a\\b...\\x.txt", "name ends in a dot or space"},
        {u"a\\x<y.txt", "'<' in a name"},
        {u"a\\x>y.txt", "'>' in a name"},
        {u"a\"b\\x.txt", "'\"' in a name"},
        {u"a\\x|y.txt", "'|' in a name"},
        {u"a\\what?.txt", "'?' in a name"},
        {u"a\\*.txt", "'*' in a name"},
        // Close to the refused names, yet ordinary.
        {u"a\\console.txt", std::nullopt},
        {u"a\\com10.txt", std::nullopt},
        {u"a\\lpt0.txt", std::nullopt},
        {u"a\\com.txt", std::nullopt},
        {u"a\\nul_\\x.txt", std::nullopt},
        {u"a\\.\\x.txt", std::nullopt},
        {u"a\\ leading space.txt", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.entry));
        const std::optional<std::u16string> reason = UnsafeEntryPathReason(SplitEntryPath(c.entry));
        EXPECT_EQ(reason ? std::optional<std::string>(ToUtf8(*reason)) : std::nullopt, c.reason);
    }
}

// A name of the shape of a short (8.3) name may be an earlier entry's file or folder under its short name
// where the file system makes them: refused there, an ordinary name elsewhere.
TEST(UnsafeEntryPathReason, RefusesShortNameShapesWhereTheFileSystemMakesShortNames) {
    const struct {
        std::u16string name;
        bool shape;
    } cases[] = {
        {u"LONGFI~1.TXT", true},
        {u"longfi~1.txt", true},
        {u"AB12C~1.DDS", true},
        {u"LONGF~7X.TXT", true},
        {u"PARLIV~1", true},
        {u"A~12345", true},
        {u"~1", true},
        {u"X~1.A", true},
        {u"LONGFI~1.TEXT", false},
        {u"LONGFIL~12.TXT", false},
        {u"LONGFI~.TXT", false},
        {u"LONG~F-1.TXT", false},
        {u"A~1.B.C", false},
        {u"longfilename.txt", false},
        {u"a~b c", false},
        {u"file.~1", false},
    };
    const std::optional<std::string> refusal =
        platform::FileSystemsMakeShortNames()
            ? std::optional<std::string>("name shaped like a short (8.3) name")
            : std::nullopt;
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.name));
        EXPECT_EQ(HasShortNameShape(c.name), c.shape);
        for (const std::u16string& entry : {u"x\\" + c.name, c.name + u"\\x.txt"}) {
            const std::optional<std::u16string> reason = UnsafeEntryPathReason(SplitEntryPath(entry));
            EXPECT_EQ(reason ? std::optional<std::string>(ToUtf8(*reason)) : std::nullopt,
                      c.shape ? refusal : std::nullopt)
                << ToUtf8(entry);
        }
    }
}

TEST(EntryDestination, JoinsAcceptedEntriesBelowTheDestination) {
    struct Case {
        std::string destination, entry, folder, file;
    };
    const std::vector<Case> cases = {
        {"/dest", "textures\\armor\\iron.dds", "/dest/textures/armor", "/dest/textures/armor/iron.dds"},
        {"/dest/", "textures\\armor\\iron.dds", "/dest/textures/armor", "/dest/textures/armor/iron.dds"},
        {"/dest", ".\\readme.txt", "/dest", "/dest/readme.txt"},
        {"/dest/", "\\readme.txt", "/dest/", "/dest/readme.txt"},
        {"/dest", "meshes\\\\x.nif", "/dest/meshes", "/dest/meshes/x.nif"},
        {"/dest", "a\\.\\b\\c.txt", "/dest/a/b", "/dest/a/b/c.txt"},
        {"/", "a\\b.txt", "/a", "/a/b.txt"},
        // An empty destination stays relative: never the root.
        {"", "\\readme.txt", "", "readme.txt"},
        {"", "a\\b.txt", "a", "a/b.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination + " + " + c.entry);
        const rFileData parts = SplitEntryPath(FromUtf8(c.entry));
        ASSERT_FALSE(UnsafeEntryPathReason(parts));
        EXPECT_EQ(ToUtf8(EntryDestinationFolder(Native(c.destination), parts)), ToUtf8(Native(c.folder)));
        EXPECT_EQ(ToUtf8(EntryDestinationFile(Native(c.destination), parts)), ToUtf8(Native(c.file)));
    }
}

// Extraction the way the window and the command-line tool do it, over an archive built to escape: only what
// lies below the destination is written, and nothing appears beside it.
TEST(EntryDestination, HostileArchiveWritesNothingOutsideTheDestination) {
    fixture::ArchiveSpec recipe;
    recipe.version = 104;
    recipe.folders = {
        {"..", {Entry("evil1.txt", TextBytes("1"))}},
        {"a\\..\\..", {Entry("evil2.txt", TextBytes("2"))}},
        {"\\escape", {Entry("evil3.txt", TextBytes("3"))}},
        {"c:", {Entry("evil4.txt", TextBytes("4"))}},
        {"dest\\..\\..", {Entry("evil5.txt", TextBytes("5"))}},
        {"sub",
         {Entry("..", TextBytes("6")), Entry("a/../../evil7.txt", TextBytes("7")),
          Entry("ok.txt", TextBytes("ok")), Entry("nul.txt", TextBytes("9"))}},
        {"sub\\dots.", {Entry("evil10.txt", TextBytes("10"))}},
        {".", {Entry("root.txt", TextBytes("root"))}},
        {"", {Entry("..\\evil8.txt", TextBytes("8"))}, uint8_t{0}},
    };
    const fixture::TempFolder temp;
    const std::u16string archivePath = temp.Write("hostile.bsa", fixture::BuildArchive(recipe));
    const std::filesystem::path destination = temp / "out" / "dest";
    std::filesystem::create_directories(destination);

    TwbBSAFile archive(archivePath);
    TDestinationFolder folder(destination.u16string());
    std::vector<TEntryRef> all(archive.FileCount());
    std::iota(all.begin(), all.end(), TEntryRef{0});
    const TExtractionPlan plan(archive, all);
    std::vector<std::string> refused;
    for (size_t position = 0; position < plan.Size(); ++position) {
        const std::u16string entryString = archive.EntryString(plan.Entry(position));
        const TExtractOutcome outcome = ExtractEntry(archive, plan, position, folder);
        if (outcome.kind == TExtractOutcome::Kind::Refused) {
            refused.push_back(ToUtf8(entryString));
        } else {
            EXPECT_EQ(outcome.kind, TExtractOutcome::Kind::Written) << ToUtf8(entryString);
        }
    }
    EXPECT_EQ(refused.size(), 10u);

    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(temp.Path())) {
        if (entry.is_regular_file()) {
            written.push_back(std::filesystem::relative(entry.path(), temp.Path()).generic_string());
        }
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"hostile.bsa", "out/dest/root.txt", "out/dest/sub/ok.txt"}));
}

} // namespace
