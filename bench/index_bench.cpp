// Reading the index and exporting the entry list of the 200,000-entry archives (bench_generate makes them).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "archive/bsa_file.h"
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

void BM_EntryStrings(benchmark::State& state, const char* name) {
    const std::u16string path = ArchivePath(name);
    if (!Present(state, path)) {
        return;
    }
    const TwbBSAFile archive(path);
    for (auto _ : state) {
        size_t units = 0;
        for (TEntryRef entry = 0; entry < archive.FileCount(); ++entry) {
            units += archive.EntryString(entry).size();
        }
        benchmark::DoNotOptimize(units);
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
        size_t bytes = 0;
        for (TEntryRef entry = 0; entry < archive.FileCount(); ++entry) {
            bytes += ToUtf8(archive.EntryString(entry)).size();
        }
        files = archive.FileCount();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * files);
}

BENCHMARK_CAPTURE(BM_ReadIndex, v105, "small-v105.bsa")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ReadIndex, v104, "small-v104.bsa")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_EntryStrings, v105, "small-v105.bsa")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ReadIndexAndListUtf8, v105, "small-v105.bsa")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
