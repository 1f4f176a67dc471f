// The preview's jobs, held at a gate (a hook in each job) so that what happens while they run can be seen
// without timing: the main window answers the user while a 16 MiB texture decodes; closing the preview
// cancels its job and waits for its thread; closing the archive, opening another or closing the main window
// while an entry is read stops the read first; and another level, face or zoom replaces the decode that runs.
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QWheelEvent>
#include <functional>

#include "preview_test_support.h"

namespace {

using namespace apptest;

// 4096×4096, one level of BC7: 16 MiB of blocks. Stored raw, so that writing the fixture takes no time.
std::vector<uint8_t> HugeTexture() {
    fixture::DdsSpec ddsRecipe;
    ddsRecipe.width = ddsRecipe.height = 4096;
    ddsRecipe.fourCc = fixture::FourCc("DX10");
    ddsRecipe.dxgiFormat = 98; // BC7_UNORM
    ddsRecipe.data = fixture::RandomBlocks(16, size_t{1024} * 1024, 7, true);
    return fixture::BuildDds(ddsRecipe);
}

class PreviewJobsTest : public PreviewTest {
protected:
    void SetUp() override {
        CreateWindow();
        OpenByDialog(WriteArchive(
            "a.bsa", Recipe({{"meshes", {Entry("a.nif", std::string("a")), Entry("b.nif", std::string("b"))}},
                             {"textures",
                              {Entry("huge.dds", HugeTexture(), fixture::Storage::Raw),
                               Entry("large.dds", LargeTexture())}}})));
    }

    // The gate, set for the previews opened from now on.
    TJobGate& HoldAt(std::set<TPreviewStep> steps) {
        gate_ = std::make_unique<TJobGate>(std::move(steps));
        Form().SetPreviewJobHook(gate_->Hook());
        return *gate_;
    }
    // Lets the window take what the jobs hand over until `count` jobs have arrived at the gate.
    bool UntilArrived(int count) {
        return QTest::qWaitFor([&] { return gate_->Arrived() >= count; }, 60000);
    }
    static QLabel* BusyLabel(TPreviewWindow* preview) { return preview->findChild<QLabel*>("PreviewBusy"); }

    std::unique_ptr<TJobGate> gate_;
};

TEST_F(PreviewJobsTest, MainWindowAnswersWhileAHugeTextureDecodesAndClosingThePreviewCancelsIt) {
    TJobGate& gate = HoldAt({TPreviewStep::Decode});
    QPointer<TPreviewWindow> preview = OpenByDoubleClick("huge.dds", false);
    ASSERT_NE(preview, nullptr);
    ASSERT_TRUE(UntilArrived(1));
    EXPECT_TRUE(preview->Busy());
    EXPECT_TRUE(BusyLabel(preview)->isVisible());
    EXPECT_EQ(BusyLabel(preview)->text(), QString::fromUtf8("decoding…"));
    EXPECT_TRUE(preview->InfoText().startsWith(QString::fromUtf8("DDS BC7, 4096×4096, 1 mip level; raw, ")))
        << Utf8(preview->InfoText());
    EXPECT_TRUE(preview->ShownImage().isNull());

    // The main window, meanwhile: a click selects a row, a key moves to the next, a keystroke filters.
    ClickRow(RowOf("a.nif"));
    EXPECT_EQ(Tree()->currentIndex().row(), RowOf("a.nif"));
    QTest::keyClick(Tree(), Qt::Key_Down);
    EXPECT_EQ(Tree()->currentIndex().row(), RowOf("b.nif"));
    TypeFilter("nif");
    EXPECT_EQ(ColumnTexts(2), QStringList({"a.nif", "b.nif"}));
    // And the preview itself: 1:1 and back while nothing is drawn yet.
    QTest::mouseClick(preview->findChild<QPushButton*>("PreviewActualSize"), Qt::LeftButton);
    QTest::mouseClick(preview->findChild<QPushButton*>("PreviewFit"), Qt::LeftButton);
    EXPECT_EQ(gate.Arrived(), 1);

    // Closed while the decode is held: the job is cancelled and its thread waited for before the window goes
    // (the gate lets a cancelled job leave only after a pause, so a thread left running would count here).
    preview->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return preview.isNull(); }));
    EXPECT_EQ(gate.Cancelled(), 1);
    EXPECT_EQ(gate.Left(), 1);
    EXPECT_TRUE(dialogs_.errors.empty());
}

// The read holds the archive's index (through a reader that shares it): whatever takes the archive away
// stops the read and waits for it first. The preview then says why it shows nothing.
TEST_F(PreviewJobsTest, TheArchiveGoingAwayWhileAnEntryIsReadStopsTheRead) {
    const struct {
        const char* what;
        std::function<void()> archiveGoes;
        bool previewStays; // the main window, and its previews with it, stay
    } cases[] = {
        {"closing the archive", [&] { Action("CloseArchive1")->trigger(); }, true},
        {"opening another", [&] { OpenByDialog(WriteArchive("b.bsa", Recipe({}))); }, true},
        {"closing the main window", [&] { Form().close(); }, true},
        {"the main window destroyed", [&] { CreateWindow(); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        TJobGate& gate = HoldAt({TPreviewStep::Read});
        QPointer<TPreviewWindow> preview = OpenByDoubleClick("a.nif", false);
        ASSERT_NE(preview, nullptr);
        ASSERT_TRUE(UntilArrived(1));
        EXPECT_TRUE(preview->Busy());
        c.archiveGoes();
        EXPECT_EQ(gate.Cancelled(), 1);
        EXPECT_EQ(gate.Left(), 1);
        ASSERT_EQ(!preview.isNull(), c.previewStays);
        if (c.previewStays) {
            EXPECT_FALSE(preview->Busy());
            EXPECT_EQ(preview->ShownKind(), TPreviewWindow::Kind::Error);
            EXPECT_EQ(preview->InfoText(),
                      "Cannot show meshes\\a.nif: the archive was closed before it was read");
        }
    }
}

// Once read, the entry is the preview's own: its texture decodes, and is shown, after the archive was closed.
TEST_F(PreviewJobsTest, ATextureReadBeforeTheArchiveWasClosedStillDecodes) {
    TJobGate& gate = HoldAt({TPreviewStep::Decode});
    TPreviewWindow* preview = OpenByDoubleClick("large.dds", false);
    ASSERT_NE(preview, nullptr);
    ASSERT_TRUE(UntilArrived(1));
    Action("CloseArchive1")->trigger();
    EXPECT_EQ(gate.Cancelled(), 0);
    gate.Open();
    Settle(preview);
    EXPECT_EQ(preview->ShownKind(), TPreviewWindow::Kind::Image);
    EXPECT_TRUE(
        preview->InfoText().startsWith(QString::fromUtf8("DDS BC1 (DXT1), 1024×1024, 3 mip levels; ")));
    QAbstractScrollArea* canvas = preview->findChild<QAbstractScrollArea*>("PreviewCanvas");
    EXPECT_EQ(canvas->viewport()->grab().toImage().pixelColor(canvas->viewport()->rect().center()),
              QColor(0, 0, 255)); // level 1
}

// One decode at a time, of what is wanted now: choosing another level cancels the one that runs, and so does
// zooming back to a level decoded before; a paint draws what there is meanwhile and asks for the rest.
TEST_F(PreviewJobsTest, AnotherLevelOrZoomReplacesTheDecodeThatRuns) {
    TJobGate& gate = HoldAt({TPreviewStep::Decode});
    TPreviewWindow* preview = OpenByDoubleClick("large.dds", false);
    ASSERT_NE(preview, nullptr);
    ASSERT_TRUE(UntilArrived(1)); // level 1, as the picture is fitted

    auto* mip = preview->findChild<QComboBox*>("PreviewMip");
    QTest::keyClick(mip, Qt::Key_End); // level 2, 256×256: smaller than the window
    ASSERT_TRUE(UntilArrived(2));
    EXPECT_EQ(gate.Cancelled(), 1);
    EXPECT_EQ(gate.Left(), 1);
    gate.Open();
    Settle(preview);
    EXPECT_EQ(preview->ShownImage().size(), QSize(256, 256));
    EXPECT_EQ(preview->ShownImage().pixelColor(5, 5), QColor(0, 255, 0));

    QTest::keyClick(mip, Qt::Key_Home); // level 0 chosen, drawn from level 1 (the third decode)
    Settle(preview);
    EXPECT_TRUE(preview->ShownImage().isNull()); // level 0 itself is not needed yet
    gate.Close();
    QAbstractScrollArea* canvas = preview->findChild<QAbstractScrollArea*>("PreviewCanvas");
    QWidget* view = canvas->viewport();
    const QPoint centre = view->rect().center();
    QWheelEvent wheel(QPointF(centre), QPointF(view->mapToGlobal(centre)), QPoint(), QPoint(0, 3 * 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    // The paint draws level 1 enlarged and asks for level 0, whose decode is held.
    EXPECT_EQ(view->grab().toImage().pixelColor(centre), QColor(0, 0, 255));
    ASSERT_TRUE(UntilArrived(4));
    EXPECT_TRUE(preview->Busy());
    EXPECT_TRUE(BusyLabel(preview)->isVisible());
    // Fitted again before it is done: level 1, decoded before, is drawn and the decode of level 0 dropped.
    QTest::mouseClick(preview->findChild<QPushButton*>("PreviewFit"), Qt::LeftButton);
    view->grab();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !preview->Busy(); }));
    EXPECT_EQ(gate.Cancelled(), 2);
    EXPECT_FALSE(BusyLabel(preview)->isVisible());
    EXPECT_EQ(view->grab().toImage().pixelColor(centre), QColor(0, 0, 255));
}

} // namespace
