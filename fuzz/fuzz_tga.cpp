// Fuzz target: the TGA reader. The input is a TGA file; it is decoded, and a small picture also written as a
// PNG. A read outside the input is an AddressSanitizer report (libFuzzer hands an exact-size buffer).
// ETextureError is the expected refusal; anything else escaping, or a picture whose pixels are not width ×
// height × 4 bytes, is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "texture/png_writer.h"
#include "texture/texture_error.h"
#include "texture/tga_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RgbaImage image;
    try {
        image = DecodeTga(std::span<const uint8_t>(data, size));
    } catch (const ETextureError&) {
        return 0;
    }
    if (image.width == 0 || image.height == 0 ||
        image.pixels.size() != size_t{image.width} * image.height * 4) {
        std::abort();
    }
    if (image.pixels.size() <= 4096) {
        EncodePng(image);
    }
    return 0;
}
