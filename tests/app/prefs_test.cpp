// prefs.ini: our INI reader and writer (only the two keys change, every other line stays byte for byte, UTF-8
// text), and the window's use of it: loaded at start, written at close, beside the executable or, for an
// installed program, in the user's configuration folder.
#include <QAction>
#include <fstream>
#include <sstream>

#include "app/prefs.h"
#include "tests/app/app_test_support.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

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
                     "long=" +
                         std::string(3000, 'a') + "\n[other]\nlastExtractDir=/other/\n");
    const TIniFile ini(U16(file_));
    EXPECT_EQ(ini.ReadString(u"path", u"lastBsaDir", u"?"), u"/x y/");
    EXPECT_EQ(ini.ReadString(u"path", u"empty", u"?"), u"");
    EXPECT_EQ(ini.ReadString(u"path", u"lastExtractDir", u"default"), u"default");
    EXPECT_EQ(ini.ReadString(u"path", u"long", u"?"), std::u16string(2047, u'a'));
    EXPECT_EQ(ini.ReadString(u"missing", u"lastBsaDir", u""), u"");
    EXPECT_EQ(TIniFile(U16(temp_.Path() / "none.ini")).ReadString(u"path", u"lastBsaDir", u""), u"");
}

class PrefsTest : public WindowTest {
protected:
    fs::path Prefs() { return binFolder_ / "prefs.ini"; }
};

TEST_F(PrefsTest, FirstRunStartsEmptyAndWritesBothKeysAtClose) {
    TForm1& form = CreateWindow();
    EXPECT_EQ(form.ExeDir(), U16(binFolder_) + u"/");
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
    const fs::path out = temp_.Path() / "Ausgabe \u00fc";
    const std::u16string archiveFolder = U16(archive.parent_path()) + u"/";
    const std::u16string outFolder = U16(out) + u"/";
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

TEST_F(PrefsTest, InstalledProgramKeepsItsPrefsInTheUserConfigurationFolder) {
#ifdef _WIN32
    const char* const configVariable = "APPDATA";
    const fs::path userPrefs = temp_.Path() / "config" / "Parlivex" / "prefs.ini";
#else
    const char* const configVariable = "XDG_CONFIG_HOME";
    const fs::path userPrefs = temp_.Path() / "config" / "parlivex" / "prefs.ini";
#endif
    const QByteArray previous = qgetenv(configVariable);
    qputenv(configVariable, Q(temp_.Path() / "config").toUtf8());
    WriteText(temp_.Path() / "share" / "applications" / "parlivex.desktop", "[Desktop Entry]\n");

    TForm1& form = CreateWindow();
    EXPECT_EQ(form.PrefsFileName(), U16(userPrefs));
    OpenByDialog(WriteArchive("data/a.bsa", Recipe({})));
    form.close();
    EXPECT_FALSE(fs::exists(Prefs()));
    const std::string folder = Utf8(Q(temp_.Path() / "data")) + "/";
    EXPECT_EQ(ReadText(userPrefs), "[path]\nlastBsaDir=" + folder + "\nlastExtractDir=" + folder + "\n");
    EXPECT_EQ(CreateWindow().LastBsaDir(), U16(temp_.Path() / "data") + u"/");

    // So does one whose folder cannot be written.
    executablePath_ = U16(temp_.Path() / "no such folder" / "parlivex");
    EXPECT_EQ(CreateWindow().PrefsFileName(), U16(userPrefs));

    if (previous.isNull()) {
        qunsetenv(configVariable);
    } else {
        qputenv(configVariable, previous);
    }
}

} // namespace
} // namespace apptest
