// prefs.ini: our INI reader and writer (only the two keys change, every other line stays byte for byte, UTF-8
// text), and the window's use of it: loaded at start, written at close, beside the executable or, for an
// installed program, in the user's configuration folder.
#include <QAction>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

#include "app/prefs.h"
#include "fixtures/file_tree.h"
#include "tests/app/app_test_support.h"

namespace apptest {
namespace {

using fixture::ReadText;

namespace fs = std::filesystem;

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

class IniFileTest : public ::testing::Test {
protected:
    fixture::TempFolder temp_;
    fs::path file_ = temp_.Path() / "prefs.ini";
};

TEST_F(IniFileTest, WritingChangesOnlyTheKeysItSets) {
    struct Case {
        const char* name;
        std::optional<std::string> before;
        std::string after;
    };
    const Case cases[] = {
        {"no file yet", std::nullopt, "[path]\nlastBsaDir=/new/\nlastExtractDir=/out/\n"},
        {"other sections, comments, CRLF, keys in other case",
         "; settings\r\n[other]\r\nkey = value \r\n\r\n[PATH]\r\n LastBsaDir = "
         "/old/\r\nextra=1\r\n\r\n[tail]\r\nx=y\r\n",
         "; settings\r\n[other]\r\nkey = value "
         "\r\n\r\n[PATH]\r\nlastBsaDir=/new/\r\nextra=1\r\nlastExtractDir=/out/\r\n"
         "\r\n[tail]\r\nx=y\r\n"},
        {"no section, no final line break", "[a]\nb=c",
         "[a]\nb=c\n[path]\nlastBsaDir=/new/\nlastExtractDir=/out/\n"},
        {"section last, no final line break", "[path]\nlastExtractDir=/old/",
         "[path]\nlastExtractDir=/out/\nlastBsaDir=/new/\n"},
        {"byte-order mark", "\xEF\xBB\xBF[path]\nlastBsaDir=/old/\n",
         "\xEF\xBB\xBF[path]\nlastBsaDir=/new/\nlastExtractDir=/out/\n"},
    };
    for (const Case& c : cases) {
        fs::remove(file_);
        if (c.before) {
            WriteText(file_, *c.before);
        }
        TIniFile ini(U16(file_));
        ini.WriteString(u"path", u"lastBsaDir", u"/new/");
        ini.WriteString(u"path", u"lastExtractDir", u"/out/");
        ASSERT_TRUE(ini.UpdateFile()) << c.name;
        EXPECT_EQ(ReadText(file_), c.after) << c.name;
        const TIniFile reread(U16(file_));
        EXPECT_EQ(reread.ReadString(u"path", u"lastBsaDir", u"?"), u"/new/") << c.name;
    }
}

TEST_F(IniFileTest, ReadingFindsTheKeyOfItsSectionOnly) {
    WriteText(file_, "lastBsaDir=/outside/\n[Path]\n  LASTBSADIR  =  /x y/  \r\nlastBsaDir=/second/\nempty=\n"
                     "quoted = \" /q/ \" \nhalf=\"/h/\ncut=/a/\rlastExtractDir=/evil/\nlong=" +
                         std::string(3000, 'a') + "\n[other]\nlastExtractDir=/other/\n");
    const TIniFile ini(U16(file_));
    EXPECT_EQ(ini.ReadString(u"path", u"lastBsaDir", u"?"), u"/x y/");
    EXPECT_EQ(ini.ReadString(u"path", u"empty", u"?"), u"");
    EXPECT_EQ(ini.ReadString(u"path", u"quoted", u"?"), u" /q/ ");
    EXPECT_EQ(ini.ReadString(u"path", u"half", u"?"), u"\"/h/");
    EXPECT_EQ(ini.ReadString(u"path", u"cut", u"?"), u"/a/") << "a value ends with its line";
    EXPECT_EQ(ini.ReadString(u"path", u"lastExtractDir", u"default"), u"default");
    EXPECT_EQ(ini.ReadString(u"path", u"long", u"?"), std::u16string(2047, u'a'));
    EXPECT_EQ(ini.ReadString(u"missing", u"lastBsaDir", u""), u"");
    EXPECT_EQ(TIniFile(U16(temp_.Path() / "none.ini")).ReadString(u"path", u"lastBsaDir", u""), u"");
}

TEST_F(IniFileTest, ValuesReadBackAsWrittenAndLineBreaksAreNotWritten) {
    WriteText(file_, "[path]\nlastBsaDir=/old/\nlastExtractDir=/keep/\n");
    TIniFile ini(U16(file_));
    for (const char16_t* broken : {u"/a\nlastExtractDir=/evil/", u"/a\rb/", u"/a/\r\n"}) {
        EXPECT_FALSE(ini.WriteString(u"path", u"lastBsaDir", broken));
    }
    const std::u16string awkward[] = {u" /lead/", u"/trail/ ", u"\"/quoted/\"", u"\"", u"/\u00e9 \"x\"/"};
    for (const std::u16string& value : awkward) {
        ASSERT_TRUE(ini.WriteString(u"path", u"lastExtractDir", value));
        ASSERT_TRUE(ini.UpdateFile());
        EXPECT_EQ(TIniFile(U16(file_)).ReadString(u"path", u"lastExtractDir", u"?"), value);
    }
    EXPECT_EQ(TIniFile(U16(file_)).ReadString(u"path", u"lastBsaDir", u"?"), u"/old/");
}

#ifndef _WIN32
// A FIFO or a device at the name, or where a link at it leads, is neither opened (a FIFO would wait for a
// writer forever, /dev/zero never ends) nor replaced by a regular file (as root, a prefs.ini linked to
// /dev/null would have cost the system its /dev/null).
TEST_F(IniFileTest, FifoOrDeviceIsNeitherReadNorReplaced) {
    const fs::path elsewhere = temp_.Path() / "elsewhere";
    fs::create_directories(elsewhere);
    // A device node of the test's own, for the null device: nothing could come of writing to it.
    const auto makeDevice = [](const fs::path& path) {
        return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    };
    const auto makeFifo = [](const fs::path& path) { return mkfifo(path.c_str(), 0666) == 0; };
    const struct {
        const char* what;
        std::function<bool(const fs::path&)> make;
        bool throughLink;
        fs::file_type type;
    } cases[] = {
        {"a FIFO", makeFifo, false, fs::file_type::fifo},
        {"a link to a FIFO", makeFifo, true, fs::file_type::fifo},
        {"a device", makeDevice, false, fs::file_type::character},
        {"a link to a device", makeDevice, true, fs::file_type::character},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(file_);
        fs::remove(elsewhere / "special");
        const fs::path special = c.throughLink ? elsewhere / "special" : file_;
        if (!c.make(special)) {
            GTEST_SKIP() << "this user cannot make device nodes";
        }
        if (c.throughLink) {
            fs::create_symlink(special, file_);
        }
        TIniFile ini(U16(file_));
        EXPECT_EQ(ini.ReadString(u"path", u"lastBsaDir", u"?"), u"?");
        ASSERT_TRUE(ini.WriteString(u"path", u"lastBsaDir", u"/new/"));
        EXPECT_FALSE(ini.UpdateFile());
        EXPECT_EQ(fs::status(file_).type(), c.type);
        EXPECT_EQ(fs::symlink_status(file_).type(), c.throughLink ? fs::file_type::symlink : c.type);
        EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere), fs::directory_iterator()),
                  c.throughLink ? 1 : 0)
            << "no temporary file left";
    }
}
#endif

// The plugins.txt and INI file chosen per Data folder: what reads back is kept, fewer entries than the last
// save leave no old one behind, and what would not read back as it was (a line break, a path longer than a
// value) is not written.
TEST_F(IniFileTest, ChosenLoadOrderFilesReadBackAndOldEntriesGo) {
    WriteText(file_, "[path]\nlastBsaDir=/keep/\n");
    const TChosenLoadOrderFiles three = {{u"/games/a/Data", {u"/p/a.txt", u""}},
                                         {u"/games/b/Data", {u"", u"/i/b.ini"}},
                                         {u"/games/\u00e9 c/Data", {u" /p/c.txt", u"/i/c.ini"}}};
    const TChosenLoadOrderFiles one = {{u"/games/b/Data", {u"/p/b.txt", u""}}};
    TChosenLoadOrderFiles unwritable = one;
    unwritable[u"/games/new\nline"] = {u"/p/x.txt", u""};
    unwritable[u"/games/long"] = {std::u16string(TIniFile::kMaxValueLength + 1, u'x'), u""};
    unwritable[u"/games/automatic"] = {};
    const std::pair<TChosenLoadOrderFiles, TChosenLoadOrderFiles> saves[] = {
        {three, three}, {one, one}, {unwritable, one}, {{}, {}}};
    for (const auto& [written, expected] : saves) {
        TIniFile prefs(U16(file_));
        WriteChosenLoadOrderFiles(prefs, written);
        ASSERT_TRUE(prefs.UpdateFile());
        EXPECT_EQ(ReadChosenLoadOrderFiles(TIniFile(U16(file_))), expected);
    }
    EXPECT_EQ(TIniFile(U16(file_)).ReadString(u"path", u"lastBsaDir", u"?"), u"/keep/");
}

// The user's configuration folder and the program's folder in it: %APPDATA%\Parlivex on Windows.
#ifdef _WIN32
constexpr char kConfigHomeVariable[] = "APPDATA";
constexpr char kConfigFolderName[] = "Parlivex";
#else
constexpr char kConfigHomeVariable[] = "XDG_CONFIG_HOME";
constexpr char kConfigFolderName[] = "parlivex";
#endif

// The user's configuration folder set to a folder for as long as it lives.
class ScopedConfigHome {
public:
    explicit ScopedConfigHome(const fs::path& folder) : previous_(qgetenv(kConfigHomeVariable)) {
        qputenv(kConfigHomeVariable, folder.string().c_str());
    }
    ~ScopedConfigHome() {
        if (previous_.isNull()) {
            qunsetenv(kConfigHomeVariable);
        } else {
            qputenv(kConfigHomeVariable, previous_);
        }
    }

private:
    QByteArray previous_;
};

class PrefsTest : public WindowTest {
protected:
    fs::path Prefs() { return binFolder_ / "prefs.ini"; }
};

TEST_F(PrefsTest, FirstRunStartsEmptyAndWritesBothKeysAtClose) {
    TForm1& form = CreateWindow();
    EXPECT_EQ(form.ExeDir(), U16(binFolder_) + kSeparator);
    EXPECT_EQ(form.PrefsFileName(), U16(Prefs()));
    EXPECT_TRUE(form.LastBsaDir().empty());
    EXPECT_TRUE(form.LastExtractDir().empty());
    EXPECT_FALSE(fs::exists(Prefs()));
    form.close();
    EXPECT_EQ(ReadText(Prefs()), "[path]\nlastBsaDir=\nlastExtractDir=\n");
}

TEST_F(PrefsTest, NonAsciiFoldersSurviveARoundTripAndOtherLinesStay) {
    WriteText(Prefs(), "# kept\r\n[window]\r\nwidth=603\r\n[path]\r\nlastBsaDir=\r\nfuture=1\r\n");
    const fs::path archive =
        WriteArchive("Donn\u00e9es \u00f1 \u65e5\u672c/skyrim.bsa", Recipe({{"a", {Entry("b.txt", "c")}}}));
    const fs::path out = temp_.Path() / fs::u8path("Ausgabe \u00fc");
    const std::u16string archiveFolder = U16(archive.parent_path()) + kSeparator;
    const std::u16string outFolder = U16(out) + kSeparator;
    {
        TForm1& form = CreateWindow();
        OpenByDialog(archive);
        EXPECT_TRUE(form.HasArchive());
        ExtractTo(out);
        form.close();
        EXPECT_FALSE(form.HasArchive()) << "released at close";
    }
    EXPECT_EQ(ReadText(Prefs()),
              "# kept\r\n[window]\r\nwidth=603\r\n[path]\r\nlastBsaDir=" + Utf8(Q(archiveFolder)) +
                  "\r\nfuture=1\r\nlastExtractDir=" + Utf8(Q(outFolder)) + "\r\n");

    TForm1& form = CreateWindow();
    EXPECT_EQ(form.LastBsaDir(), archiveFolder);
    EXPECT_EQ(form.LastExtractDir(), outFolder);
    Action("Openarchive1")->trigger();
    EXPECT_EQ(dialogs_.openCalls.back().initialFolder, Q(archiveFolder));
}

TEST_F(PrefsTest, FolderWithALineBreakIsNotWrittenAndTheOtherKeyStays) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows file names hold no line breaks";
#endif
    WriteText(Prefs(), "[path]\nlastBsaDir=/old/\nlastExtractDir=/keep/\n");
    const fs::path archive =
        WriteArchive("evil\nlastExtractDir=/hijacked/\n[path]\nlastExtractDir=/x/a.bsa", Recipe({}));
    {
        TForm1& form = CreateWindow();
        OpenByDialog(archive);
        EXPECT_EQ(form.LastBsaDir(), U16(archive.parent_path()) + kSeparator);
        form.close();
    }
    EXPECT_EQ(ReadText(Prefs()), "[path]\nlastBsaDir=/old/\nlastExtractDir=/keep/\n");
    TForm1& form = CreateWindow();
    EXPECT_EQ(form.LastBsaDir(), u"/old/");
    EXPECT_EQ(form.LastExtractDir(), u"/keep/");
}

#ifndef _WIN32
// While it lives, the process runs as an unprivileged user (as root, whom no folder's mode stops) and the
// folder cannot be written.
class ReadOnlyFolder {
public:
    ReadOnlyFolder(const fs::path& folder, const fs::path& openToAll) : folder_(folder) {
        fs::permissions(openToAll, fs::perms::all, fs::perm_options::replace);
        fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
        if (geteuid() == 0) {
            // The saved user id stays root, so that the destructor can come back.
            unprivileged_ = setresgid(kNobody, kNobody, 0) == 0 && setresuid(kNobody, kNobody, 0) == 0;
        } else {
            unprivileged_ = true;
        }
    }
    ~ReadOnlyFolder() {
        if (getuid() == kNobody) {
            EXPECT_EQ(setresuid(0, 0, 0), 0);
            EXPECT_EQ(setresgid(0, 0, 0), 0);
        }
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
    }
    bool Ready() const { return unprivileged_; }

private:
    static constexpr uid_t kNobody = 65534;
    fs::path folder_;
    bool unprivileged_ = false;
};

#endif

TEST_F(PrefsTest, ReadOnlyProgramFolderIsReadAndTheLastSaveIsWhatTheNextStartReads) {
#ifdef _WIN32
    // Wine checks no permissions, and this test changes the POSIX user to make the folder read-only.
    GTEST_SKIP() << "a read-only program folder is made with POSIX users and modes";
#else
    const ScopedConfigHome configHome(temp_.Path() / "config");
    fs::create_directories(temp_.Path() / "config");
    fs::permissions(temp_.Path() / "config", fs::perms::all);
    const fs::path userPrefs = temp_.Path() / "config" / kConfigFolderName / "prefs.ini";
    WriteText(Prefs(), "[path]\nlastBsaDir=/shipped/\nlastExtractDir=/out/\n");
    fs::last_write_time(Prefs(), fs::file_time_type::clock::now() - std::chrono::hours(1));
    const fs::path archive = WriteArchive("data/a.bsa", Recipe({}));
    fs::permissions(archive.parent_path(), fs::perms::all);
    fs::permissions(archive, fs::perms::all);
    {
        ReadOnlyFolder readOnly(binFolder_, temp_.Path());
        if (!readOnly.Ready()) {
            GTEST_SKIP() << "cannot run as an unprivileged user";
        }
        {
            TForm1& form = CreateWindow();
            EXPECT_EQ(form.LastBsaDir(), u"/shipped/") << "read beside the program";
            OpenByDialog(archive);
            form.close();
        }
        EXPECT_EQ(ReadText(Prefs()), "[path]\nlastBsaDir=/shipped/\nlastExtractDir=/out/\n");
        EXPECT_EQ(ReadText(userPrefs), "[path]\nlastBsaDir=" + Utf8(Q(archive.parent_path())) +
                                           Utf8(Q(kSeparator)) + "\nlastExtractDir=/out/\n");
        EXPECT_EQ(CreateWindow().LastBsaDir(), U16(archive.parent_path()) + kSeparator) << "the last save";
    }
#endif
}

TEST_F(PrefsTest, InstalledProgramKeepsItsPrefsInTheUserConfigurationFolder) {
    const ScopedConfigHome configHome(temp_.Path() / "config");
    WriteText(temp_.Path() / "share" / "applications" / "parlivex.desktop", "[Desktop Entry]\n");
    const fs::path userPrefs = temp_.Path() / "config" / kConfigFolderName / "prefs.ini";

    TForm1& form = CreateWindow();
    EXPECT_EQ(form.PrefsFileName(), U16(userPrefs));
    OpenByDialog(WriteArchive("data/a.bsa", Recipe({})));
    form.close();
    EXPECT_FALSE(fs::exists(Prefs()));
    const std::string folder = Utf8(Q(temp_.Path() / "data")) + Utf8(Q(kSeparator));
    EXPECT_EQ(ReadText(userPrefs), "[path]\nlastBsaDir=" + folder + "\nlastExtractDir=" + folder + "\n");
    EXPECT_EQ(CreateWindow().LastBsaDir(), U16(temp_.Path() / "data") + kSeparator);

    // So does one whose folder does not exist.
    executablePath_ = U16(temp_.Path() / "no such folder" / "parlivex");
    EXPECT_EQ(CreateWindow().PrefsFileName(), U16(userPrefs));
}

} // namespace
} // namespace apptest
