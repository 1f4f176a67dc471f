#pragma once
// The numbers of the BSA format that the index reader and the entry reader share.
#include <cstdint>

namespace bsa_format {

inline constexpr uint32_t kHeaderSize = 36;
inline constexpr uint32_t kFolderRecordSize104 = 16;
inline constexpr uint32_t kFolderRecordSize105 = 24;
inline constexpr uint32_t kFileRecordSize = 16;
inline constexpr uint32_t kVersionSkyrim = 104;
inline constexpr uint32_t kVersionSkyrimSE = 105;

inline constexpr uint32_t kArchiveCompressedByDefault = 0x4; // bit 30 of a size word then marks a raw entry
inline constexpr uint32_t kArchiveEmbeddedNames = 0x100;     // every entry's data starts with a counted name
inline constexpr uint32_t kSizeCompressionToggle = 0x40000000;
inline constexpr uint32_t kUncompressedSizePrefix = 4;

} // namespace bsa_format
