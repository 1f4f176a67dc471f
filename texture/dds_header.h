#pragma once
// The header of a DDS texture (the classic header, and the DX10 extension that names a DXGI format): what the
// texture holds and where each surface lies. Every count and size is checked against the bytes present, so
// that the surfaces an accepted header describes lie wholly inside the file.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Textures wider or taller than this are refused: the largest that Direct3D 11 hardware takes.
inline constexpr uint32_t kMaxTextureDimension = 16384;

enum class TextureFormat : uint8_t {
    kBc1,         // DXT1: 8-byte blocks, colour with optional 1-bit alpha
    kBc2,         // DXT3: 16-byte blocks, explicit 4-bit alpha
    kBc3,         // DXT5: 16-byte blocks, interpolated alpha
    kBc4Unsigned, // ATI1: 8-byte blocks, one channel
    kBc4Signed,
    kBc5Unsigned, // ATI2: 16-byte blocks, two channels
    kBc5Signed,
    kBc6hUnsigned, // half-float HDR: described, not decoded
    kBc6hSigned,
    kBc7,   // 16-byte blocks, eight modes
    kMasked // uncompressed: 8 to 32 bits a pixel, channels given by bit masks
};

// Where the channels of an uncompressed pixel lie. A zero mask is a channel the pixel does not hold.
struct ChannelMasks {
    uint32_t red = 0;
    uint32_t green = 0;
    uint32_t blue = 0;
    uint32_t alpha = 0;
    bool luminance = false; // red holds a grey level for all three colour channels
};

struct DdsInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t mipCount = 1;   // levels stored for each layer, the full-size one first
    uint32_t layerCount = 1; // array slices times cube faces
    bool cubeMap = false;
    uint8_t cubeFaces = 0; // cube maps: the faces each cube stores, bit 0 +X, -X, +Y, -Y, +Z, bit 5 -Z
    TextureFormat format = TextureFormat::kMasked;
    bool srgb = false;         // the DXGI format is marked sRGB (the stored values are shown as they are)
    uint32_t bitsPerPixel = 0; // uncompressed formats only
    ChannelMasks masks;        // uncompressed formats only
    std::string formatName;    // "BC7", "BC1 (DXT1)", "B8G8R8A8", …
    size_t dataOffset = 0;     // first byte of the first surface
    uint64_t layerBytes = 0;   // all mip levels of one layer
};

// Reads and checks the header of the DDS file in `file`. Accepts 2D textures, cube maps (all six faces or
// some of them) and texture arrays in the formats of TextureFormat; the header's sizes and counts must
// agree with each other and every surface must lie inside `file`. Raises ETextureError with the reason
// otherwise (not a DDS file, a damaged header, a size above kMaxTextureDimension, a volume texture, a format
// this program does not know, or data shorter than the header says). Reads nothing outside `file`.
DdsInfo ReadDdsHeader(std::span<const uint8_t> file);

// True when the format is stored in 4×4 blocks.
bool IsBlockCompressed(TextureFormat format);
// Bytes of one 4×4 block of a block-compressed format.
uint32_t BlockBytes(TextureFormat format);
// True when DecodeDdsSurface can turn the format into pixels (false for BC6H only).
bool CanDecode(TextureFormat format);

// The width and height of mip level `mip` (at least 1).
uint32_t MipWidth(const DdsInfo& info, uint32_t mip);
uint32_t MipHeight(const DdsInfo& info, uint32_t mip);
// The bytes that mip level `mip` of one layer occupies.
uint64_t MipBytes(const DdsInfo& info, uint32_t mip);
// The cube face (0 to 5: +X, -X, +Y, -Y, +Z, -Z) that layer `layer` of a cube map holds: each cube stores
// the faces of info.cubeFaces, in that order (all six but in a cube map of the classic header that names
// fewer). info.cubeMap must be true.
uint32_t CubeFaceOfLayer(const DdsInfo& info, uint32_t layer);
// Where mip level `mip` of layer `layer` begins in the file; both must be in range.
size_t SurfaceOffset(const DdsInfo& info, uint32_t layer, uint32_t mip);
