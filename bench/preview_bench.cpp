// From a double-click on a row to the picture in its preview window, for a texture of 16 MiB (BC7,
// 4096×4096, one level, stored LZ4-compressed; and the same with all its mip levels): the fetch, the
// decoding, the window and its first painting.
// The archive is written by the test writer into a temporary folder; nothing else is needed.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <memory>

#include "app/browser_model.h"
#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/preview_window.h"
#include "base/ustring.h"
#include "bench/silent_dialogs.h"
#include "fixtures/bsa_writer.h"
#include "fixtures/dds_writer.h"

namespace {

std::filesystem::path WriteTextureArchive(uint32_t mipCount) {
    constexpr uint32_t kSide = 4096;
    fixture::DdsSpec ddsRecipe;
    ddsRecipe.width = kSide;
    ddsRecipe.height = kSide;
    ddsRecipe.mipCount = mipCount;
    ddsRecipe.fourCc = fixture::FourCc("DX10");
    ddsRecipe.dxgiFormat = 98; // BC7_UNORM
    ddsRecipe.data =
        fixture::RandomBlocks(16, fixture::BlockSurfaceBytes(kSide, kSide, 16, mipCount) / 16, 7, true);
    fixture::ArchiveSpec recipe;
    recipe.version = 105;
    recipe.folders = {
        {"textures\\landscape", {{"big.dds", fixture::BuildDds(ddsRecipe), fixture::Storage::Lz4Frame}}}};
    const auto path = std::filesystem::temp_directory_path() / "parlivex-preview-bench.bsa";
    fixture::WriteArchiveFile(recipe, path.string());
    return path;
}

// state.range(0): the texture's mip levels (1: the whole 4096×4096 level is decoded; 13, as the games'
// textures have them: the picture fitted into the window is drawn from a smaller level).
void BM_PreviewTextureFromDoubleClick(benchmark::State& state) {
    const std::filesystem::path archive = WriteTextureArchive(uint32_t(state.range(0)));
    SilentDialogs dialogs;
    const std::string executable =
        (std::filesystem::temp_directory_path() / "parlivex-preview-bench").string();
    TForm1 window(dialogs, FromUtf8(executable));
    window.show();
    window.OpenArchive(FromUtf8(archive.string()));
    QApplication::processEvents();
    auto* list = window.findChild<QTreeView*>(QStringLiteral("BrowserTree"));
    const QPoint row = list->visualRect(list->model()->index(0, TBrowserModel::kFileColumn)).center();
    for (auto _ : state) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row);
        auto* preview = window.findChild<TPreviewWindow*>();
        if (preview == nullptr || preview->ShownKind() != TPreviewWindow::Kind::Image) {
            state.SkipWithError("no picture");
            break;
        }
        // The first painting of the whole window, the picture included.
        benchmark::DoNotOptimize(preview->grab());
        state.PauseTiming();
        delete preview;
        state.ResumeTiming();
    }
    std::filesystem::remove(archive);
}

} // namespace

// The CPU time is that of the whole process, so that it includes the decoding threads.
BENCHMARK(BM_PreviewTextureFromDoubleClick)
    ->Arg(1)
    ->Arg(13)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(10);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
