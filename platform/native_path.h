#pragma once
// Paths cross between the system and the program here, and only here. Inside the program a path is UTF-16
// text; on Linux the system's path is a string of bytes that is usually, but not always, UTF-8. The two
// conversions below are exact inverses for every byte string, so a path taken from the command line, a drop
// or the system itself opens that very file and no other, and "\" stays an ordinary character of a name.
// Windows names files in UTF-16 itself, unpaired surrogates included: there the bytes are UTF-8 in which an
// unpaired surrogate takes three bytes of its own, and every UTF-16 path comes back from them unchanged
// (native_path_win32.cpp). What is said of raw bytes below is Linux's.
#include <string>
#include <string_view>

namespace platform {

// The program's form of a path the system gave as bytes: UTF-8 decoded; each byte that is not part of a valid
// UTF-8 sequence is kept as the unpaired surrogate U+DC00 + byte (U+DC80 to U+DCFF), which valid UTF-8 never
// produces.
std::u16string PathFromNative(std::string_view native);

// The system's bytes for a path: UTF-8, with each unpaired U+DC80 to U+DCFF turned back into its byte. Other
// unpaired surrogates (never made by PathFromNative) become U+FFFD. Nothing else changes: no separator is
// translated.
std::string NativePath(std::u16string_view path);
// The same, appended to native (for callers that keep one buffer for name after name).
void AppendNativePath(std::string& native, std::u16string_view path);

// The path of the local file that a "file:" URL without a host names, from the URL's path with its escapes
// ("%F5") decoded to bytes: "/home/a/x.bsa", on Windows "/C:/a/x.bsa" for "C:\a\x.bsa". Exact as
// PathFromNative is: a name that is not UTF-8 gives that very file, not one with replacement characters.
std::u16string PathFromFileUrl(std::string_view decodedUrlPath);

// Whether a code unit stands for a raw byte of a native path that was not UTF-8; ByteOfRawUnit gives the
// byte. Messages show such bytes as "\xNN".
inline bool IsRawByteUnit(char16_t unit) {
    return unit >= 0xDC80 && unit <= 0xDCFF;
}
inline unsigned char ByteOfRawUnit(char16_t unit) {
    return static_cast<unsigned char>(unit - 0xDC00);
}

} // namespace platform
