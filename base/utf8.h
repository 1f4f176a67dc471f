#pragma once
// Decoding UTF-8: the program's one decoder. What differs between its callers is theirs to choose: whether
// a surrogate code point written in three bytes of its own counts as a sequence (Windows names files in
// UTF-16 that may hold unpaired surrogates, and its paths carry them so), and what becomes of a byte that
// begins no sequence (text shows U+FFFD; a Linux path keeps the byte as U+DC00 + byte, so that the path can
// be given back to the system unchanged).
#include <cstddef>
#include <string>
#include <string_view>

enum class Utf8Surrogates {
    Refused,  // UTF-8 proper: ED A0..BF xx is no sequence
    Accepted, // a surrogate code point (U+D800 to U+DFFF) stands alone in its three bytes
};

enum class Utf8StrayBytes {
    Replaced,            // each becomes U+FFFD
    KeptAsLowSurrogates, // each becomes U+DC00 + byte (U+DC80 to U+DCFF: bytes below 0x80 are never stray)
};

struct Utf8Rules {
    Utf8Surrogates surrogates = Utf8Surrogates::Refused;
    Utf8StrayBytes strayBytes = Utf8StrayBytes::Replaced;
};

// The rules of text (FromUtf8), of Linux paths and of Windows paths.
inline constexpr Utf8Rules kUtf8Text{Utf8Surrogates::Refused, Utf8StrayBytes::Replaced};
inline constexpr Utf8Rules kUtf8LinuxPath{Utf8Surrogates::Refused, Utf8StrayBytes::KeptAsLowSurrogates};
inline constexpr Utf8Rules kUtf8WindowsPath{Utf8Surrogates::Accepted, Utf8StrayBytes::Replaced};

// One sequence: the code point and the bytes it took. length 0: no valid sequence.
struct Utf8Sequence {
    char32_t codePoint = 0;
    size_t length = 0;
};

// The sequence at the start of text, or length 0 when text is empty or does not start with one: a byte that
// leads nothing (80 to C1, F5 to FF), a sequence cut short or broken by a byte that does not continue it, an
// overlong form, a code point past U+10FFFF, or a surrogate unless surrogates are accepted.
Utf8Sequence DecodeUtf8Sequence(std::string_view text, Utf8Surrogates surrogates);

// text in UTF-16. A byte that does not begin a valid sequence is a stray byte of its own (the bytes after it
// are read afresh) and becomes what rules.strayBytes says. Code points above U+FFFF become surrogate pairs.
std::u16string DecodeUtf8(std::string_view text, Utf8Rules rules);

// Whether text is UTF-8 proper throughout: no stray byte, no surrogate.
bool IsValidUtf8(std::string_view text);
