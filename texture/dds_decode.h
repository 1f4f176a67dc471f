#pragma once
// Turning one surface of a DDS texture (a mip level of a layer or cube face) into RGBA8 pixels.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <utility>
#include <vector>

#include "platform/large_memory.h"
#include "texture/dds_header.h"

// The allocator of decoded pixels: large blocks from AllocateLarge, and elements left uninitialised by
// resize(), since the decoders write every byte.
template <typename T> struct PixelAllocator {
    using value_type = T;
    PixelAllocator() = default;
    template <typename U> PixelAllocator(const PixelAllocator<U>&) noexcept {}
    T* allocate(size_t count) {
        if (count > SIZE_MAX / sizeof(T)) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(AllocateLarge(count * sizeof(T)));
    }
    void deallocate(T* block, size_t) noexcept { FreeLarge(block); }
    template <typename U> void construct(U* at) noexcept { ::new (static_cast<void*>(at)) U; }
    template <typename U, typename... Args> void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
    template <typename U> bool operator==(const PixelAllocator<U>&) const noexcept { return true; }
};

using PixelBytes = std::vector<uint8_t, PixelAllocator<uint8_t>>;

struct RgbaImage {
    uint32_t width = 0;
    uint32_t height = 0;
    PixelBytes pixels; // width × height × 4 bytes: red, green, blue, alpha; rows top first
};

// Decodes mip level `mip` of layer `layer` (a cube face, +X -X +Y -Y +Z -Z, or an array slice) of the DDS
// file in `file`. Raises ETextureError when the header is refused (ReadDdsHeader), when `layer` or `mip` is
// out of range, or when the format is one this program describes but does not decode (BC6H). The pixels
// are the stored values: sRGB formats are not converted. Reads nothing outside `file`; allocates only the
// result, whose size the bytes present bound (at most 8 bytes of pixels per byte of the surface).
RgbaImage DecodeDdsSurface(std::span<const uint8_t> file, uint32_t layer = 0, uint32_t mip = 0);

// The same for a header already read from `file`, on up to `threads` threads (the calling one among them;
// a large surface is cut into bands of rows, a small one is decoded on the calling thread alone). The
// pixels do not depend on the number of threads. When `cancelled` is given and becomes true meanwhile, every
// thread stops within a few rows of blocks and the result's pixels are partly undefined: the caller, which
// cancelled, drops them.
RgbaImage DecodeDdsSurface(const DdsInfo& info, std::span<const uint8_t> file, uint32_t layer, uint32_t mip,
                           unsigned threads = 1, const std::atomic<bool>* cancelled = nullptr);

// Decodes a surface of `width` × `height` pixels of a block-compressed `format` from `blocks` (which must
// hold all of its blocks: ceil(width/4) × ceil(height/4) × BlockBytes) into `rgba` (width × height × 4
// bytes).
void DecodeBlocks(TextureFormat format, const uint8_t* blocks, uint32_t width, uint32_t height,
                  uint8_t* rgba);
