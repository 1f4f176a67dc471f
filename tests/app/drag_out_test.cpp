// Rows dragged out of the list: the drag begins with the mouse on the list, carries the addresses of the
// extracted items at the top of the window's own temporary folder, whose files hold the entries' bytes with
// their folders; refused entries are reported, and the folder goes at the next drag and with the window.
#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fixtures/file_tree.h"
#include "tests/app/app_test_support.h"

namespace apptest {
namespace {

class DragOutTest : public WindowTest {};

TEST_F(DragOutTest, DraggedRowsAreWrittenWithTheirFoldersAndCarriedAsTheTopItems) {
    TForm1& form = CreateWindow();
    OpenByDialog(WriteArchive(
        "drag.bsa",
        Recipe({{"textures\\armor", {Entry("iron.dds", "iron bytes"), Entry("steel.dds", "steel")}},
                {"meshes", {Entry("m.nif", std::string(5000, 'm'))}},
                {"..\\escape", {Entry("evil.txt", "no")}},
                {"sound", {Entry("not.wav", "left out", fixture::Storage::Raw)}},
                RootFolder({Entry("readme.txt", "read me", fixture::Storage::Raw)})})));

    QList<QUrl> urls;
    std::map<std::string, std::vector<uint8_t>> files;
    std::filesystem::path folder;
    int drags = 0;
    form.SetDragHook([&](QDrag& drag) {
        ++drags;
        urls = drag.mimeData()->urls();
        folder = std::filesystem::path(Utf8(form.DragFolder()));
        files = fixture::TreeOf(folder); // while the drop target could still take them
    });
    // Everything but sound\not.wav, and a filter that hides meshes\m.nif: hidden rows that are selected go
    // too, as in every extraction.
    SelectAllRows();
    const int notWav = static_cast<int>(VisibleEntries().indexOf("sound\\not.wav"));
    ASSERT_GE(notWav, 0);
    ClickRow(notWav, Qt::ControlModifier);
    TypeFilter("t");
    ASSERT_FALSE(VisibleEntries().contains("meshes\\m.nif"));
    DragRow(static_cast<int>(VisibleEntries().indexOf("textures\\armor\\iron.dds")));

    ASSERT_EQ(drags, 1);
    EXPECT_EQ(form.StatusPanelText(0), "") << "the drag's progress is its own, not the extraction's panel";
    ASSERT_FALSE(folder.empty());
    const std::filesystem::path temp = std::filesystem::path(Utf8(QDir::tempPath()));
    EXPECT_EQ(folder.parent_path(), temp) << "below the system's temporary folder";
    QStringList carried;
    for (const QUrl& url : urls) {
        ASSERT_TRUE(url.isLocalFile());
        carried.append(url.toLocalFile());
    }
    const QString base = Q(folder) + "/";
    EXPECT_EQ(carried, QStringList({base + "meshes", base + "readme.txt", base + "textures"}));
    EXPECT_EQ(files, (std::map<std::string, std::vector<uint8_t>>{
                         {"meshes/m.nif", std::vector<uint8_t>(5000, 'm')},
                         {"readme.txt", {'r', 'e', 'a', 'd', ' ', 'm', 'e'}},
                         {"textures/armor/iron.dds", {'i', 'r', 'o', 'n', ' ', 'b', 'y', 't', 'e', 's'}},
                         {"textures/armor/steel.dds", {'s', 't', 'e', 'e', 'l'}}}));
    // The refused entry is told once the drag is over.
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].text,
              "1 entry was not extracted:\n..\\escape\\evil.txt (refused: '..' component)");

    // The next drag makes a new folder and removes the last one; closing the window removes the new one.
    const std::filesystem::path first = folder;
    DragRow(0);
    ASSERT_EQ(drags, 2);
    EXPECT_NE(folder, first);
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_TRUE(std::filesystem::exists(folder));
    form.close();
    EXPECT_FALSE(std::filesystem::exists(folder));
}

} // namespace
} // namespace apptest
