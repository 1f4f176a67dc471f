// Fetching every entry of an archive of one storage kind (raw, zlib, LZ4), as bytes per second of content.
// The archives hold the same 2,000 entries of 300 B to 4 MiB (bench_generate makes them).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/bsa_file.h"
#include "base/ustring.h"
#include "bench/bench_data.h"
#include "extract/entry_path.h"

namespace {

void BM_FetchEveryEntry(benchmark::State& state, const char* name) {
    const std::string path = bench::DataFolder() + "/" + name;
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("no benchmark data: run bench_generate (or bench/run) first");
        return;
    }
    TwbBSAFile archive(FromUtf8(path));
    int64_t bytes = 0;
    TBytes data;
    for (auto _ : state) {
        for (TEntryRef entry = 0; entry < archive.FileCount(); ++entry) {
            archive.ReadEntry(entry, data);
            bytes += static_cast<int64_t>(data.size());
            benchmark::DoNotOptimize(data.data());
        }
    }
    state.SetBytesProcessed(bytes);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * archive.FileCount()));
}

BENCHMARK_CAPTURE(BM_FetchEveryEntry, raw, "kind-raw.bsa")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FetchEveryEntry, zlib, "kind-zlib.bsa")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FetchEveryEntry, lz4, "kind-lz4.bsa")->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
