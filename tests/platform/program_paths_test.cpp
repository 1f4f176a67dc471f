// The paths the front-ends take from the system: where a path's last name begins, the user's settings folder,
// the file a dropped "file:" URL names, and the program's arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>
#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>

#include "platform/win32_path.h"
#endif

#include "base/ustring.h"
#include "fixtures/temp_folder.h"
#include "platform/command_line.h"
#include "platform/directories.h"
#include "platform/file.h"
#include "platform/native_path.h"

namespace {

// Sets an environment variable (nothing: unsets it) for as long as it lives.
class ScopedVariable {
public:
    ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* previous = std::getenv(name)) {
            previous_ = previous;
        }
        Set(value);
    }
    ~ScopedVariable() { Set(previous_); }

private:
    void Set(const std::optional<std::string>& value) {
#ifdef _WIN32
        // The C library's copy of the environment, which UserSettingsFolder reads; "NAME=" removes it.
        _putenv((name_ + "=" + value.value_or("")).c_str());
#else
        if (value) {
            setenv(name_.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
#endif
    }

    std::string name_;
    std::optional<std::string> previous_;
};

} // namespace

TEST(ProgramPaths, FileNameStartsAfterTheLastSeparator) {
    const struct {
        std::u16string path;
        size_t start;
    } cases[] = {
        {u"", 0},
        {u"a.bsa", 0},
        {u"/data/a.bsa", 6},
        {u"/data/", 6},
        {u"/", 1},
#ifdef _WIN32
        {u"C:\\data\\a.bsa", 8},
        {u"C:a.bsa", 2}, // relative to the current folder of drive C:
        {u"data/sub\\a.bsa", 9},
        {u"\\\\server\\share\\a.bsa", 15},
#else
        {u"back\\slash.bsa", 0}, // "\" is part of a Linux name
        {u"C:a.bsa", 0},
#endif
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::FileNameStart(c.path), c.start) << ToUtf8(c.path);
    }
}

TEST(ProgramPaths, UserSettingsFolderFollowsTheSystemsConvention) {
#ifdef _WIN32
    const struct {
        std::optional<std::string> appData;
        std::u16string folder;
    } cases[] = {
        {"C:\\Users\\u\\AppData\\Roaming", u"C:\\Users\\u\\AppData\\Roaming\\Parlivex"},
        {"C:\\Users\\u\\AppData\\Roaming\\", u"C:\\Users\\u\\AppData\\Roaming\\Parlivex"},
        {"C:/Users/u/AppData/Roaming", u"C:\\Users\\u\\AppData\\Roaming\\Parlivex"},
        {std::nullopt, u""}, // no place rather than one in the root of the current drive
    };
    for (const auto& c : cases) {
        const ScopedVariable appData("APPDATA", c.appData);
        EXPECT_EQ(platform::UserSettingsFolder(), c.folder) << c.appData.value_or("(unset)");
    }
#else
    const struct {
        std::optional<std::string> configHome;
        std::optional<std::string> home;
        std::u16string folder;
    } cases[] = {
        {"/cfg", "/home/u", u"/cfg/parlivex"},
        {"/cfg//", "/home/u", u"/cfg/parlivex"},
        {std::nullopt, "/home/u", u"/home/u/.config/parlivex"},
        {"", "/home/u/", u"/home/u/.config/parlivex"},
        // A relative path would name another folder from every current folder: not to be used.
        {"relative/cfg", "/home/u", u"/home/u/.config/parlivex"},
        {"/", "/home/u", u"/parlivex"},
        // Bytes that are not UTF-8 name that very folder.
        {"/caf\xE9", "/home/u", std::u16string(u"/caf") + char16_t(0xDCE9) + u"/parlivex"},
    };
    for (const auto& c : cases) {
        const ScopedVariable configHome("XDG_CONFIG_HOME", c.configHome);
        const ScopedVariable home("HOME", c.home);
        EXPECT_EQ(platform::UserSettingsFolder(), c.folder) << c.configHome.value_or("(unset)");
    }
#endif
}

TEST(ProgramPaths, LocalApplicationDataFolderIsWindowsOwn) {
#ifdef _WIN32
    const struct {
        std::optional<std::string> localAppData;
        std::u16string folder;
    } cases[] = {
        {"C:\\Users\\u\\AppData\\Local", u"C:\\Users\\u\\AppData\\Local"},
        {"C:/Users/u/AppData/Local\\", u"C:\\Users\\u\\AppData\\Local"},
        {std::nullopt, u""},
    };
    for (const auto& c : cases) {
        const ScopedVariable localAppData("LOCALAPPDATA", c.localAppData);
        EXPECT_EQ(platform::LocalApplicationDataFolder(), c.folder) << c.localAppData.value_or("(unset)");
    }
#else
    // Windows games keep nothing in a Linux user's folders: there is no such place.
    const ScopedVariable localAppData("LOCALAPPDATA", "/home/u/AppData/Local");
    EXPECT_EQ(platform::LocalApplicationDataFolder(), u"");
    EXPECT_EQ(platform::DocumentsFolder(), u"");
#endif
}

TEST(ProgramPaths, ListFolderNamesFilesFoldersAndLinks) {
    fixture::TempFolder temp;
    std::filesystem::create_directories(temp / "sub");
    std::ofstream(temp / "a.bsa") << "xyz";
    std::vector<platform::FolderItem> items;
    ASSERT_TRUE(platform::ListFolder(temp.Path().u16string(), items));
    std::sort(items.begin(), items.end(),
              [](const platform::FolderItem& a, const platform::FolderItem& b) { return a.name < b.name; });
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].name, u"a.bsa");
    EXPECT_EQ(items[0].kind, platform::FolderItem::Kind::File);
    EXPECT_EQ(items[0].size, 3u);
    EXPECT_EQ(items[1].name, u"sub");
    EXPECT_EQ(items[1].kind, platform::FolderItem::Kind::Folder);
    EXPECT_FALSE(items[1].link);
    // A link to a file is listed with its target's size.
    std::error_code linkError;
    std::filesystem::create_symlink(temp / "a.bsa", temp / "sub" / "link.bsa", linkError);
    if (!linkError) {
        ASSERT_TRUE(platform::ListFolder((temp / "sub").u16string(), items));
        ASSERT_EQ(items.size(), 1u);
        EXPECT_TRUE(items[0].link);
        EXPECT_EQ(items[0].kind, platform::FolderItem::Kind::File);
        EXPECT_EQ(items[0].size, 3u);
    }
    EXPECT_FALSE(platform::ListFolder(temp.U16("missing"), items));
    EXPECT_NE(platform::LastErrorCode(), 0u);
}

TEST(ProgramPaths, FileUrlNamesThatVeryFile) {
    const struct {
        std::string urlPath; // with its escapes decoded
        std::u16string path;
    } cases[] = {
#ifdef _WIN32
        {"/C:/data/a.bsa", u"C:\\data\\a.bsa"},
        {"/c:/caf\xC3\xA9 \xE2\x82\xAC.bsa", u"c:\\caf\u00e9 \u20ac.bsa"},
        {"/data/a.bsa", u"\\data\\a.bsa"},
#else
        {"/data/a.bsa", u"/data/a.bsa"},
        {"/caf\xC3\xA9 \xE2\x82\xAC.bsa", u"/caf\u00e9 \u20ac.bsa"},
        {"/caf\xE9.bsa", std::u16string(u"/caf") + char16_t(0xDCE9) + u".bsa"}, // Latin-1 bytes stay bytes
        {"/C:/a.bsa", u"/C:/a.bsa"},
#endif
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::PathFromFileUrl(c.urlPath), c.path) << c.urlPath;
    }
}

#ifdef _WIN32
// argv holds the ANSI code page; the arguments come from the UTF-16 command line, also when a library took
// some out of argv (those stay out).
TEST(ProgramPaths, ArgumentsComeFromTheUtf16CommandLine) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    ASSERT_NE(wide, nullptr);
    std::vector<std::string> all;
    for (int i = 0; i < count; ++i) {
        all.push_back(platform::NativePath(platform::FromWide(wide[i])));
    }
    LocalFree(wide);
    ASSERT_EQ(count, __argc);
    EXPECT_EQ(platform::CommandLineArguments(__argc, __argv), all);
    std::vector<char*> kept = {__argv[0]};
    std::vector<std::string> expected = {all[0]};
    if (__argc > 2) {
        kept.push_back(__argv[__argc - 1]);
        expected.push_back(all[__argc - 1]);
    }
    EXPECT_EQ(platform::CommandLineArguments(static_cast<int>(kept.size()), kept.data()), expected);
}
#else
TEST(ProgramPaths, ArgumentsAreTakenByteForByte) {
    std::string name = "parlivex-cli";
    std::string latin1 = "caf\xE9.bsa";
    std::string backslash = "a\\b.bsa";
    char* argv[] = {name.data(), latin1.data(), backslash.data()};
    EXPECT_EQ(platform::CommandLineArguments(3, argv), (std::vector<std::string>{name, latin1, backslash}));
}
#endif
