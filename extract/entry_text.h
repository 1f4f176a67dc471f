#pragma once
// An entry's bytes as the preview shows them when they are no picture: as text when they read as text,
// otherwise as a hex view of their first bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Whether bytes read as text, with no control characters but tab, line feed, form feed and carriage return:
// after a byte order mark, in the encoding it names (UTF-16 little- or big-endian: whole units with their
// surrogates paired; UTF-8: a byte that is not shows as U+FFFD); without one, UTF-8 when they are valid
// UTF-8, else Windows-1252 (without the five bytes it leaves undefined). The byte order mark is no part of
// the text. text receives the decoded text when they do and is left alone otherwise. No bytes read as (empty)
// text.
bool DecodeAsText(std::span<const uint8_t> bytes, std::u16string& text);

// The hex view shows at most this many bytes.
inline constexpr size_t kHexViewBytes = 64 * 1024;

// Rows of 16 bytes, each "<offset, 8 hex digits>  <8 bytes> <8 bytes>  <the bytes as ASCII, '.' for the
// others>" and a line feed, of the first kHexViewBytes of bytes; then, when there are more, "… the first N
// of M bytes" and a line feed.
std::u16string HexView(std::span<const uint8_t> bytes);
