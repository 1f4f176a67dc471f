// The preview window through the real main window: a double-click or Enter on a row opens the entry in a
// window of its own, shown as a picture, text or hex by what it holds; failures are shown in it; Escape
// closes one; several can be open.
#include <QAbstractScrollArea>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeView>
#include <QWheelEvent>
#include <set>

#include "app/preview_canvas.h"
#include "app/preview_window.h"
#include "app_test_support.h"
#include "fixtures/dds_writer.h"
#include "preview_test_support.h"

namespace {

using namespace apptest;

// A BC1 texture of 8×4 with 2 mips: level 0 red, level 1 blue; opaque.
std::vector<uint8_t> TwoLevelTexture() {
    fixture::DdsSpec ddsRecipe;
    ddsRecipe.width = 8;
    ddsRecipe.height = 4;
    ddsRecipe.mipCount = 2;
    const fixture::Bytes red = fixture::Bc1Block(0xF800, 0, {});
    const fixture::Bytes blue = fixture::Bc1Block(0x001F, 0, {});
    for (const auto* block : {&red, &red, &blue}) {
        ddsRecipe.data.insert(ddsRecipe.data.end(), block->begin(), block->end());
    }
    return fixture::BuildDds(ddsRecipe);
}

// BC1 colours that tell faces and layers apart, as RGB565 and as decoded.
const std::pair<uint16_t, QColor> kColours[] = {
    {0xF800, QColor(255, 0, 0)},   {0x07E0, QColor(0, 255, 0)},   {0x001F, QColor(0, 0, 255)},
    {0xFFE0, QColor(255, 255, 0)}, {0x07FF, QColor(0, 255, 255)}, {0xF81F, QColor(255, 0, 255)},
};

// A BC1 texture whose layers (cube faces with faceFlags, or array slices with arraySize) each have 8×8 and
// 4×4 levels: layer n is colour n at its level 0 and colour n + 1 at its level 1.
std::vector<uint8_t> LayeredTexture(uint32_t faceFlags, uint32_t arraySize, uint32_t layers) {
    fixture::DdsSpec ddsRecipe;
    ddsRecipe.width = ddsRecipe.height = 8;
    ddsRecipe.mipCount = 2;
    if (faceFlags != 0) {
        ddsRecipe.caps2 = fixture::kDdsCubeMap | faceFlags;
    } else {
        ddsRecipe.fourCc = fixture::FourCc("DX10");
        ddsRecipe.dxgiFormat = 71; // BC1_UNORM
        ddsRecipe.arraySize = arraySize;
    }
    for (uint32_t layer = 0; layer < layers; ++layer) {
        for (const auto& [mip, blocks] : {std::pair{0u, 4}, {1u, 1}}) {
            const fixture::Bytes block = fixture::Bc1Block(kColours[(layer + mip) % 6].first, 0, {});
            for (int i = 0; i < blocks; ++i) {
                ddsRecipe.data.insert(ddsRecipe.data.end(), block.begin(), block.end());
            }
        }
    }
    return fixture::BuildDds(ddsRecipe);
}

std::vector<uint8_t> PngImage() {
    QImage image(3, 2, QImage::Format_RGBA8888);
    image.fill(QColor(40, 160, 220, 128));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return {bytes.begin(), bytes.end()};
}

// A run-length true-colour TGA of 4×2 without the footer of TGA 2.0, as many tools write it: the bottom row
// blue, the top row orange.
std::vector<uint8_t> TgaImage() {
    return {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 2, 0, 24, 0, 0x83, 255, 0, 0, 0x83, 0, 128, 255};
}

class PreviewWindowTest : public PreviewTest {
protected:
    void SetUp() override {
        std::vector<uint8_t> truncated = TwoLevelTexture();
        truncated.resize(truncated.size() - 9);
        std::vector<uint8_t> binary(70000);
        for (size_t i = 0; i < binary.size(); ++i) {
            binary[i] = uint8_t(i * 7);
        }
        fixture::EntrySpec damaged = Entry("damaged.nif", binary);
        damaged.packedOverride = std::vector<uint8_t>{0x04, 0x22, 0x4D, 0x18, 0xFF};
        const auto archive = WriteArchive(
            "a.bsa",
            Recipe({{"interface",
                     {Entry("notes.ini", std::string("[General]\nname=caf\xE9\nkey=1\n")),
                      // As the game's translations: UTF-16LE after its byte order mark.
                      Entry("translate_english.txt", std::string("\xFF\xFE$\0K\0\t\0\xE9\0\r\0\n\0", 14))}},
                    {"meshes",
                     {Entry("legacy.bin", binary, fixture::Storage::Lz4Legacy),
                      Entry("mesh.nif", binary, fixture::Storage::Raw), damaged}},
                    {"textures",
                     {Entry("array.dds", LayeredTexture(0, 3, 3)), Entry("broken.dds", truncated),
                      Entry("cube.dds", LayeredTexture(fixture::kDdsAllFaces, 1, 6)),
                      Entry("half_cube.dds", LayeredTexture(0x400 | 0x1000 | 0x4000, 1, 3)),
                      Entry("icon.png", PngImage()), Entry("large.dds", LargeTexture()),
                      Entry("pic.tga", TgaImage()), Entry("sky.dds", TwoLevelTexture())}}}));
        CreateWindow();
        OpenByDialog(archive);
    }
};

TEST_F(PreviewWindowTest, TextureShowsEachLevelOverTheFactsLine) {
    TPreviewWindow* preview = OpenByDoubleClick("sky.dds");
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->ShownKind(), TPreviewWindow::Kind::Image);
    EXPECT_TRUE(preview->InfoText().startsWith("DDS BC1 (DXT1), 8×4, 2 mip levels"))
        << Utf8(preview->InfoText());
    EXPECT_TRUE(preview->InfoText().contains("; LZ4 frame, ")) << Utf8(preview->InfoText());
    EXPECT_EQ(preview->ShownImage().size(), QSize(8, 4));
    EXPECT_EQ(preview->ShownImage().pixelColor(5, 2), QColor(255, 0, 0));

    auto* mip = preview->findChild<QComboBox*>("PreviewMip");
    ASSERT_NE(mip, nullptr);
    mip->setCurrentIndex(1);
    Settle(preview);
    EXPECT_EQ(preview->ShownImage().size(), QSize(4, 2));
    EXPECT_EQ(preview->ShownImage().pixelColor(1, 1), QColor(0, 0, 255));

    // Alpha alone: opaque shows as white.
    auto* channels = preview->findChild<QComboBox*>("PreviewChannels");
    ASSERT_NE(channels, nullptr);
    channels->setFocus();
    QTest::keyClick(channels, Qt::Key_End);
    EXPECT_EQ(channels->currentText(), "Alpha only");
    Settle(preview);
    EXPECT_EQ(preview->ShownImage().pixelColor(1, 1), QColor(255, 255, 255));
}

// Each choice of channels, picked with the keyboard, shows the picture's colour without its alpha or one
// channel alone as grey, opaque; back to all four, the picture as it is.
TEST_F(PreviewWindowTest, ChannelChoiceShowsTheColourOrOneChannelAsGrey) {
    TPreviewWindow* preview = OpenByDoubleClick("icon.png");
    ASSERT_NE(preview, nullptr);
    auto* channels = preview->findChild<QComboBox*>("PreviewChannels");
    ASSERT_NE(channels, nullptr);
    const QColor colour(40, 160, 220, 128);
    ASSERT_EQ(preview->ShownImage().pixelColor(2, 1), colour);
    const struct {
        QString choice;
        QColor shown;
    } cases[] = {
        {"RGB only", QColor(40, 160, 220)},    {"R only", QColor(40, 40, 40)},
        {"G only", QColor(160, 160, 160)},     {"B only", QColor(220, 220, 220)},
        {"Alpha only", QColor(128, 128, 128)},
    };
    channels->setFocus();
    for (const auto& c : cases) {
        QTest::keyClick(channels, Qt::Key_Down);
        ASSERT_EQ(channels->currentText(), c.choice);
        Settle(preview);
        EXPECT_EQ(preview->ShownImage().pixelColor(2, 1), c.shown) << Utf8(c.choice);
        EXPECT_EQ(preview->ShownImage().size(), QSize(3, 2));
    }
    QTest::keyClick(channels, Qt::Key_Home);
    Settle(preview);
    EXPECT_EQ(channels->currentText(), "RGBA");
    EXPECT_EQ(preview->ShownImage().pixelColor(2, 1), colour);
}

// Each face of a cube map and each slice of an array, chosen with the keyboard, shows its own picture, at
// either level; the choice names the faces a cube map holds (one of the classic header may hold fewer).
TEST_F(PreviewWindowTest, EachFaceAndLayerShowsItsOwnPicture) {
    const struct {
        QString name;
        QString facts;
        QStringList choices;
    } cases[] = {
        {"cube.dds",
         "DDS BC1 (DXT1), 8×8, 2 mip levels, 6 cube faces; ",
         {"Face 0 (+X)", "Face 1 (-X)", "Face 2 (+Y)", "Face 3 (-Y)", "Face 4 (+Z)", "Face 5 (-Z)"}},
        {"half_cube.dds",
         "DDS BC1 (DXT1), 8×8, 2 mip levels, 3 cube faces; ",
         {"Face 0 (+X)", "Face 2 (+Y)", "Face 4 (+Z)"}},
        {"array.dds", "DDS BC1, 8×8, 2 mip levels, 3 layers; ", {"Layer 0", "Layer 1", "Layer 2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.name));
        TPreviewWindow* preview = OpenByDoubleClick(c.name);
        ASSERT_NE(preview, nullptr);
        EXPECT_TRUE(preview->InfoText().startsWith(c.facts)) << Utf8(preview->InfoText());
        auto* face = preview->findChild<QComboBox*>("PreviewFace");
        auto* mip = preview->findChild<QComboBox*>("PreviewMip");
        ASSERT_NE(face, nullptr);
        ASSERT_NE(mip, nullptr);
        ASSERT_TRUE(face->isEnabled());
        QStringList choices;
        for (int i = 0; i < face->count(); ++i) {
            choices << face->itemText(i);
        }
        EXPECT_EQ(choices, c.choices);
        const int layers = int(c.choices.size());
        const auto expectShown = [&](int layer, int level) {
            Settle(preview);
            EXPECT_EQ(face->currentIndex(), layer);
            EXPECT_EQ(preview->ShownImage().size(), QSize(8 >> level, 8 >> level)) << layer << ", " << level;
            EXPECT_EQ(preview->ShownImage().pixelColor(0, 0), kColours[(layer + level) % 6].second)
                << "layer " << layer << ", level " << level;
        };
        // Down the faces at level 0, then back up at level 1.
        expectShown(0, 0);
        for (int layer = 1; layer < layers; ++layer) {
            QTest::keyClick(face, Qt::Key_Down);
            expectShown(layer, 0);
        }
        QTest::keyClick(mip, Qt::Key_Down);
        expectShown(layers - 1, 1);
        for (int layer = layers - 2; layer >= 0; --layer) {
            QTest::keyClick(face, Qt::Key_Up);
            expectShown(layer, 1);
        }
        preview->close();
    }
}

TEST_F(PreviewWindowTest, EachKindOfEntryAndEachFailureShowsInItsOwnWindow) {
    const struct {
        QString name;
        TPreviewWindow::Kind kind;
        QString infoStart;
    } cases[] = {
        {"icon.png", TPreviewWindow::Kind::Image, "PNG, 3×2, 1 mip level"},
        {"pic.tga", TPreviewWindow::Kind::Image, "TGA, 4×2, 1 mip level"},
        {"notes.ini", TPreviewWindow::Kind::Text, "Text, 26 bytes; LZ4 frame, "},
        {"translate_english.txt", TPreviewWindow::Kind::Text, "Text, 14 bytes; LZ4 frame, "},
        {"mesh.nif", TPreviewWindow::Kind::Binary, "70000 bytes; raw, 70000 bytes stored"},
        {"legacy.bin", TPreviewWindow::Kind::Binary, "70000 bytes; LZ4 legacy, "},
        {"broken.dds", TPreviewWindow::Kind::Error, "Cannot show textures\\broken.dds: "},
        {"damaged.nif", TPreviewWindow::Kind::Error, "Cannot show meshes\\damaged.nif: "},
    };
    for (const auto& c : cases) {
        TPreviewWindow* preview = OpenByDoubleClick(c.name);
        ASSERT_NE(preview, nullptr) << Utf8(c.name);
        EXPECT_EQ(preview->ShownKind(), c.kind) << Utf8(c.name);
        EXPECT_TRUE(preview->InfoText().startsWith(c.infoStart)) << Utf8(preview->InfoText());
        if (c.name == "pic.tga") {
            EXPECT_EQ(preview->ShownImage().pixelColor(3, 0), QColor(255, 128, 0)) << "the top row";
            EXPECT_EQ(preview->ShownImage().pixelColor(0, 1), QColor(0, 0, 255));
        }
    }
    EXPECT_EQ(Previews().size(), std::size(cases));
    EXPECT_TRUE(dialogs_.errors.empty());

    TPreviewWindow* text = nullptr;
    for (TPreviewWindow* preview : Previews()) {
        if (preview->ShownKind() == TPreviewWindow::Kind::Text) {
            if (preview->windowTitle().contains("translate_english.txt")) {
                EXPECT_EQ(preview->findChild<QPlainTextEdit*>("PreviewText")->toPlainText(),
                          QString::fromUtf8("$K\té\n"));
            } else {
                text = preview;
            }
        }
    }
    // Windows-1252, as it is not UTF-8; Ctrl+F then Enter finds.
    ASSERT_NE(text, nullptr);
    auto* view = text->findChild<QPlainTextEdit*>("PreviewText");
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->toPlainText().contains(QString::fromUtf8("name=café")));
    text->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(text));
    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    auto* find = text->findChild<QLineEdit*>("PreviewFind");
    ASSERT_TRUE(find->isVisible());
    QTest::keyClicks(find, "key");
    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_EQ(view->textCursor().selectedText(), "key");

    QPlainTextEdit* hex = nullptr;
    for (TPreviewWindow* preview : Previews()) {
        if (auto* found = preview->findChild<QPlainTextEdit*>("PreviewHex")) {
            hex = found;
        }
    }
    ASSERT_NE(hex, nullptr);
    EXPECT_TRUE(hex->toPlainText().startsWith("00000000  00 07 0e 15 1c 23 2a 31  38 3f 46 4d 54 5b 62 69"));
    EXPECT_EQ(hex->toPlainText().count('\n'), 65536 / 16 + 1);

    // The main window still works: its list filters.
    TypeFilter("nif");
    EXPECT_EQ(ColumnTexts(2), QStringList({"damaged.nif", "mesh.nif"}));
}

// A texture larger than the window: fitted, it has no scroll bars and is drawn from the smallest level that
// is as large as it is shown; the wheel zooms in until scroll bars appear and the largest level is drawn; a
// drag and the arrow keys scroll; Fit takes the scroll bars away again.
TEST_F(PreviewWindowTest, LargeTextureFitsWithoutScrollBarsAndScrollsWhenZoomedIn) {
    TPreviewWindow* preview = OpenByDoubleClick("large.dds");
    ASSERT_NE(preview, nullptr);
    auto* canvas = preview->findChild<QAbstractScrollArea*>("PreviewCanvas");
    ASSERT_NE(canvas, nullptr);
    QWidget* view = canvas->viewport();
    QScrollBar* across = canvas->horizontalScrollBar();
    QScrollBar* down = canvas->verticalScrollBar();
    const QPoint centre = view->rect().center();
    const auto colourAtCentre = [&] { return view->grab().toImage().pixelColor(centre); };
    ASSERT_LT(view->height(), 512);
    EXPECT_EQ(colourAtCentre(), QColor(0, 0, 255)); // level 1, 512×512
    EXPECT_FALSE(across->isVisible());
    EXPECT_FALSE(down->isVisible());

    // Three notches, then one at a time until the picture is wider than the view too (the view's shape
    // differs between systems).
    for (int notches = 3, turns = 0; turns < 8 && !(across->isVisible() && down->isVisible());
         notches = 1, ++turns) {
        QWheelEvent wheel(QPointF(centre), QPointF(view->mapToGlobal(centre)), QPoint(),
                          QPoint(0, notches * 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &wheel);
        QApplication::processEvents();
    }
    ASSERT_TRUE(across->isVisible()) << "view " << view->width() << "x" << view->height();
    ASSERT_TRUE(down->isVisible()) << "view " << view->width() << "x" << view->height();
    Settle(preview);
    EXPECT_EQ(colourAtCentre(), QColor(255, 0, 0)); // level 0

    const QPoint scrolled(across->value(), down->value());
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseMove(view, centre - QPoint(30, 20));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, centre - QPoint(30, 20));
    EXPECT_EQ(QPoint(across->value(), down->value()), scrolled + QPoint(30, 20));
    QTest::keyClick(canvas, Qt::Key_Left);
    EXPECT_LT(across->value(), scrolled.x() + 30);

    QTest::mouseClick(preview->findChild<QPushButton*>("PreviewFit"), Qt::LeftButton);
    EXPECT_FALSE(across->isVisible());
    EXPECT_FALSE(down->isVisible());
    EXPECT_EQ(preview->ShownImage().size(), QSize(1024, 1024));
    EXPECT_EQ(preview->ShownImage().pixelColor(512, 512), QColor(255, 0, 0));
}

// The wheel zooms about the pointer whatever the picture's size against the view: from Fit while it is
// narrower than the view, into larger, out to smaller than the view, at a point beside it; and every part of
// it can still be scrolled into view. Fit centres it again.
TEST_F(PreviewWindowTest, WheelZoomKeepsThePointUnderThePointerInEveryCase) {
    TPreviewWindow* preview = OpenByDoubleClick("large.dds");
    ASSERT_NE(preview, nullptr);
    auto* canvas = preview->findChild<TPreviewCanvas*>("PreviewCanvas");
    ASSERT_NE(canvas, nullptr);
    QWidget* view = canvas->viewport();
    const QPoint centre = view->rect().center();
    ASSERT_LT(canvas->ShownSize().width(), view->width() - 200) << "fitted, narrower than the view";
    const struct {
        QPoint at;
        int steps;
    } wheels[] = {
        {centre + QPoint(-150, 60), 1},  // from Fit: still narrower than the view, taller
        {centre + QPoint(200, -100), 2}, // wider than the view
        {centre + QPoint(-40, 30), -7},  // smaller than the view both ways
        {QPoint(5, 5), 3},               // beside the picture, in the view's corner
        {centre + QPoint(250, 0), 1},
    };
    for (const auto& wheel : wheels) {
        SCOPED_TRACE(wheel.steps);
        const QPointF before = canvas->PictureAt(wheel.at);
        const double zoomBefore = canvas->Zoom();
        QWheelEvent event(QPointF(wheel.at), QPointF(view->mapToGlobal(wheel.at)), QPoint(),
                          QPoint(0, wheel.steps * 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(view, &event);
        QApplication::processEvents();
        ASSERT_NE(canvas->Zoom(), zoomBefore);
        const QPointF moved = (canvas->PictureAt(wheel.at) - before) * canvas->Zoom();
        EXPECT_LE(std::abs(moved.x()), 1.0) << moved.x();
        EXPECT_LE(std::abs(moved.y()), 1.0) << moved.y();

        // From the scroll bars' ends, each end of the picture is in view.
        for (QScrollBar* bar : {canvas->horizontalScrollBar(), canvas->verticalScrollBar()}) {
            const bool across = bar == canvas->horizontalScrollBar();
            const auto along = [&](QPointF p) { return across ? p.x() : p.y(); };
            const int was = bar->value();
            bar->setValue(bar->minimum());
            EXPECT_LE(along(canvas->PictureAt(QPointF(0, 0))), 0.0);
            bar->setValue(bar->maximum());
            EXPECT_GE(along(canvas->PictureAt(QPointF(view->width(), view->height()))),
                      1024.0 - 1 / canvas->Zoom());
            bar->setValue(was);
        }
    }

    QTest::mouseClick(preview->findChild<QPushButton*>("PreviewFit"), Qt::LeftButton);
    const QPointF middle = canvas->PictureAt(QPointF(view->width(), view->height()) / 2);
    EXPECT_NEAR(middle.x(), 512, 2);
    EXPECT_NEAR(middle.y(), 512, 2);
}

// "Save as PNG…" writes the picture chosen (level, face, channels) at its own size, decoding it first when
// only a smaller level was drawn; a name that cannot be written is said so, and nothing is left. "Copy image"
// puts the same picture on the clipboard.
TEST_F(PreviewWindowTest, SaveAsPngAndCopyImageTakeThePictureChosenAtItsOwnSize) {
    const auto readPng = [](const std::filesystem::path& path) {
        QImage image;
        image.load(Q(path), "PNG");
        return image.convertToFormat(QImage::Format_RGBA8888);
    };
    TPreviewWindow* sky = OpenByDoubleClick("sky.dds");
    ASSERT_NE(sky, nullptr);
    sky->findChild<QComboBox*>("PreviewMip")->setCurrentIndex(1);
    Settle(sky);
    auto* save = sky->findChild<QPushButton*>("PreviewSavePng");
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->text(), "Save as PNG…");
    const std::filesystem::path saved = temp_.Path() / "sky.png";
    dialogs_.saveAnswers = {Q(saved)};
    QTest::mouseClick(save, Qt::LeftButton);
    Settle(sky);
    ASSERT_EQ(dialogs_.saveCalls.size(), 1u);
    EXPECT_EQ(dialogs_.saveCalls[0].suggestedName, "sky_mip1.png");
    EXPECT_EQ(dialogs_.saveCalls[0].pattern, "*.png");
    QImage written = readPng(saved);
    EXPECT_EQ(written.size(), QSize(4, 2));
    EXPECT_EQ(written.pixelColor(1, 1), QColor(0, 0, 255));

    // Cancelled: nothing written. A folder at the name: said so, and the folder left as it was.
    dialogs_.saveAnswers.clear();
    QTest::mouseClick(save, Qt::LeftButton);
    const std::filesystem::path folder = temp_.Path() / "folder.png";
    std::filesystem::create_directory(folder);
    const auto names = [&] {
        std::set<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(temp_.Path())) {
            found.insert(entry.path().filename().string());
        }
        return found;
    };
    const std::set<std::string> before = names();
    dialogs_.saveAnswers = {Q(folder)};
    QTest::mouseClick(save, Qt::LeftButton);
    Settle(sky);
    ASSERT_EQ(dialogs_.errors.size(), 1u);
    EXPECT_EQ(dialogs_.errors[0].text, "Cannot write " + Q(folder) + ": is a folder.");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(names(), before) << "no temporary left";

    // Fitted, the large texture is drawn from a smaller level: the whole level 0 is decoded to be saved, and
    // with its channels as chosen.
    TPreviewWindow* large = OpenByDoubleClick("large.dds");
    ASSERT_NE(large, nullptr);
    ASSERT_TRUE(large->ShownImage().isNull()) << "level 0 not decoded yet";
    auto* channels = large->findChild<QComboBox*>("PreviewChannels");
    channels->setFocus();
    QTest::keyClick(channels, Qt::Key_Down); // RGB only
    QTest::keyClick(channels, Qt::Key_Down); // R only
    Settle(large);
    const std::filesystem::path red = temp_.Path() / "large red.png";
    dialogs_.saveAnswers = {Q(red)};
    QTest::mouseClick(large->findChild<QPushButton*>("PreviewSavePng"), Qt::LeftButton);
    Settle(large);
    EXPECT_EQ(dialogs_.saveCalls.back().suggestedName, "large.png");
    written = readPng(red);
    EXPECT_EQ(written.size(), QSize(1024, 1024));
    EXPECT_EQ(written.pixelColor(700, 300), QColor(255, 255, 255));

    QApplication::clipboard()->clear();
    QTest::mouseClick(large->findChild<QPushButton*>("PreviewCopyImage"), Qt::LeftButton);
    Settle(large);
    const QImage copied = QApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), QSize(1024, 1024));
    EXPECT_EQ(copied.pixelColor(10, 10), QColor(255, 255, 255));
}

// Find in a long text: Enter goes from match to match and round; a text that is nowhere leaves the view and
// the selection where they were and says so; Escape closes the find box, a second Escape the window.
TEST_F(PreviewWindowTest, FindThatFailsStaysWhereItIsAndEscapeClosesOnlyTheFindBox) {
    std::string lines;
    for (int i = 0; i < 400; ++i) {
        lines += i == 300 ? "the needle is here\n" : "line " + std::to_string(i) + "\n";
    }
    OpenByDialog(WriteArchive("long.bsa", Recipe({{"docs", {Entry("long.txt", lines)}}})));
    TPreviewWindow* preview = OpenByDoubleClick("long.txt");
    ASSERT_NE(preview, nullptr);
    auto* view = preview->findChild<QPlainTextEdit*>("PreviewText");
    ASSERT_NE(view, nullptr);
    preview->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(preview));
    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    auto* find = preview->findChild<QLineEdit*>("PreviewFind");
    auto* status = preview->findChild<QLabel*>("PreviewFindStatus");
    ASSERT_NE(status, nullptr);
    ASSERT_TRUE(find->isVisible());
    QTest::keyClicks(find, "needle");
    QTest::keyClick(find, Qt::Key_Return);
    ASSERT_EQ(view->textCursor().selectedText(), "needle");
    const int foundAt = view->textCursor().position();
    const int scrolledTo = view->verticalScrollBar()->value();
    ASSERT_GT(scrolledTo, 0) << "line 300 is out of sight from the top";
    EXPECT_EQ(status->text(), "");

    // Once more: the only match again, from the top.
    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_EQ(view->textCursor().position(), foundAt);
    EXPECT_EQ(status->text(), "from the top");

    find->selectAll();
    QTest::keyClicks(find, "haystack");
    EXPECT_EQ(status->text(), "") << "typing clears the last answer";
    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_EQ(status->text(), "not found");
    EXPECT_TRUE(status->isVisible());
    EXPECT_EQ(view->textCursor().position(), foundAt);
    EXPECT_EQ(view->textCursor().selectedText(), "needle");
    EXPECT_EQ(view->verticalScrollBar()->value(), scrolledTo);

    QTest::keyClick(find, Qt::Key_Escape);
    ASSERT_EQ(Previews().size(), 1u) << "the preview stays open";
    EXPECT_FALSE(find->isVisible());
    EXPECT_TRUE(view->hasFocus());
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_TRUE(Previews().empty());
}

TEST_F(PreviewWindowTest, EnterOpensEscapeClosesAndThePlaceholderOpensNothing) {
    ClickRow(RowOf("notes.ini"));
    QTest::keyClick(Tree(), Qt::Key_Return);
    ClickRow(RowOf("sky.dds"));
    QTest::keyClick(Tree(), Qt::Key_Enter);
    auto open = Previews();
    ASSERT_EQ(open.size(), 2u);
    QTest::keyClick(open[0]->focusWidget() ? open[0]->focusWidget() : open[0], Qt::Key_Escape);
    EXPECT_EQ(Previews().size(), 1u);

    OpenByDialog(WriteArchive("empty.bsa", Recipe({})));
    ASSERT_EQ(ColumnTexts(2), QStringList({"fbk_Nothing_Found"}));
    DoubleClickRow(0);
    EXPECT_EQ(Previews().size(), 1u);
}

} // namespace
