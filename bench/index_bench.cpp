// Reading the index and exporting the entry list of the 200,000-entry archives (bench_generate makes them).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "archive/bsa_file.h"
#include "archive/string_list.h"
#include "base/ustring.h"
#include "bench/bench_data.h"

namespace {

std::u16string ArchivePath(const char* name) {
    return FromUtf8(bench::DataFolder() + "/" + name);
}

bool Present(benchmark::State& state, const std::u16string& path) {
    if (!std::filesystem::exists(ToUtf8(path))) {
        state.SkipWithError("no benchmark data: run bench_generate (or bench/run) first");
        return false;
    }
    return true;
}

void BM_ReadIndex(benchmark::State& state, const char* name) {
    const std::u16string path = ArchivePath(name);
    if (!Present(state, path)) {
        return;
    }
    uint32_t files = 0;
    for (auto _ : state) {
        TwbBSAFile archive(path);
        files = archive.FileCount();
        benchmark::DoNotOptimize(files);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * files);
}

void BM_ExportFileList(benchmark::State& state, const char* name) {
    const std::u16string path = ArchivePath(name);
    if (!Present(state, path)) {
        return;
    }
    const TwbBSAFile archive(path);
    for (auto _ : state) {
        TStringList list;
        archive.exportFileList(list);
        benchmark::DoNotOptimize(list.Count());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * archive.FileCount());
}

// What `parlivex-cli list` does between opening and printing: index, entry strings, UTF-8.
void BM_ReadIndexAndListUtf8(benchmark::State& state, const char* name) {
    const std::u16string path = ArchivePath(name);
    if (!Present(state, path)) {
        return;
    }
    uint32_t files = 0;
    for (auto _ : state) {
        TwbBSAFile archive(path);
        TStringList list;
        archive.exportFileList(list);
        size_t bytes = 0;
        for (const auto& item : list.Items()) {
            bytes += ToUtf8(item.string).size();
        }
        files = archive.FileCount();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * files);
}

BENCHMARK_CAPTURE(BM_ReadIndex, v105, "small-v105.bsa")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ReadIndex, v104, "small-v104.bsa")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ExportFileList, v105, "small-v105.bsa")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ReadIndexAndListUtf8, v105, "small-v105.bsa")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
