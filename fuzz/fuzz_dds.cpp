// Fuzz target: the DDS decoder. The input is a DDS file; its header is read, and every mip level of the first
// and the last layer is decoded (all layers of a small texture), the smallest level also written as a PNG.
// A read outside the input is an AddressSanitizer report (libFuzzer hands an exact-size buffer).
// ETextureError is the expected refusal; anything else escaping, or a decoded surface whose size is not the
// level's, is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "texture/dds_decode.h"
#include "texture/dds_header.h"
#include "texture/png_writer.h"
#include "texture/texture_error.h"

namespace {

void DecodeLayer(const DdsInfo& info, std::span<const uint8_t> file, uint32_t layer) {
    for (uint32_t mip = 0; mip < info.mipCount; ++mip) {
        const RgbaImage image = DecodeDdsSurface(info, file, layer, mip);
        if (image.width != MipWidth(info, mip) || image.height != MipHeight(info, mip) ||
            image.pixels.size() != size_t{image.width} * image.height * 4) {
            std::abort();
        }
        if (mip + 1 == info.mipCount && image.pixels.size() <= 4096) {
            EncodePng(image);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> file(data, size);
    DdsInfo info;
    try {
        info = ReadDdsHeader(file);
    } catch (const ETextureError&) {
        return 0;
    }
    if (!CanDecode(info.format)) {
        return 0;
    }
    constexpr uint32_t kAllLayersUpTo = 8;
    for (uint32_t layer = 0; layer < info.layerCount; ++layer) {
        if (info.layerCount > kAllLayersUpTo && layer != 0 && layer + 1 != info.layerCount) {
            continue;
        }
        DecodeLayer(info, file, layer);
    }
    return 0;
}
