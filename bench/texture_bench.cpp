// Decoding whole textures: 4096×4096 with all 13 mip levels, in the formats Skyrim's textures use most.
// The blocks are random (every BC7 mode equally often), made once by the DDS test writer; each iteration
// decodes every level into fresh RGBA8 images, as a preview or `render` does. One thread.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "fixtures/dds_writer.h"
#include "texture/dds_decode.h"

namespace {

constexpr uint32_t kSize = 4096;
constexpr uint32_t kMips = 13;

std::vector<uint8_t> MakeTexture(uint32_t fourCc, uint32_t dxgiFormat, uint32_t blockBytes) {
    fixture::DdsSpec ddsRecipe;
    ddsRecipe.width = ddsRecipe.height = kSize;
    ddsRecipe.mipCount = kMips;
    ddsRecipe.fourCc = fourCc;
    ddsRecipe.dxgiFormat = dxgiFormat;
    const size_t bytes = fixture::BlockSurfaceBytes(kSize, kSize, blockBytes, kMips);
    ddsRecipe.data = fixture::RandomBlocks(blockBytes, bytes / blockBytes, 7, dxgiFormat == 98);
    return fixture::BuildDds(ddsRecipe);
}

void DecodeAllMips(benchmark::State& state, const std::vector<uint8_t>& file) {
    const DdsInfo info = ReadDdsHeader(file);
    for (auto _ : state) {
        for (uint32_t mip = 0; mip < info.mipCount; ++mip) {
            RgbaImage image = DecodeDdsSurface(info, file, 0, mip);
            benchmark::DoNotOptimize(image.pixels.data());
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}

void BM_Bc7_4096_AllMips(benchmark::State& state) {
    static const std::vector<uint8_t> file = MakeTexture(fixture::FourCc("DX10"), 98, 16);
    DecodeAllMips(state, file);
}

void BM_Bc1_4096_AllMips(benchmark::State& state) {
    static const std::vector<uint8_t> file = MakeTexture(fixture::FourCc("DXT1"), 0, 8);
    DecodeAllMips(state, file);
}

void BM_Bc3_4096_AllMips(benchmark::State& state) {
    static const std::vector<uint8_t> file = MakeTexture(fixture::FourCc("DXT5"), 0, 16);
    DecodeAllMips(state, file);
}

void BM_Bc5_4096_AllMips(benchmark::State& state) {
    static const std::vector<uint8_t> file = MakeTexture(fixture::FourCc("ATI2"), 0, 16);
    DecodeAllMips(state, file);
}

} // namespace

BENCHMARK(BM_Bc7_4096_AllMips)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Bc1_4096_AllMips)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Bc3_4096_AllMips)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Bc5_4096_AllMips)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
