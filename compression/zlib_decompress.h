#pragma once
// zlib inflation of version-104 entries: one complete zlib stream inflated in one call into the caller's
// buffer.
#include <cstdint>

#include "base/exceptions.h"

// Inflation ended without error but without reaching the end of the stream.
class EZlibError : public Exception {
public:
    using Exception::Exception;
};

// Every negative zlib result.
class EDecompressionError : public EZlibError {
public:
    using EZlibError::EZlibError;
};

inline constexpr char16_t kZlibErrorText[] = u"Erreur";
inline constexpr char16_t kZlibBufferTooSmallText[] =
    u"Erreur ZLib : le tampon de destination est peut-\u00eatre trop petit";

// Inflates the zlib stream at source into destination with one inflate(Z_FINISH) call. Success needs only the
// end of the stream within the destination; fewer output bytes leave the rest of the destination as it was,
// input after the end of the stream is ignored. Raises EDecompressionError "Erreur" for every negative zlib
// result and EZlibError (the long text) when inflation stops short of the end without an error; a negative
// sourceLength or destinationLength raises EDecompressionError "Erreur" without touching either buffer.
// zlib's working memory is released on every path; running out of heap lets the allocator's exception pass.
void ZlibDecompressBuffer(const void* source, int32_t sourceLength, void* destination,
                          int32_t destinationLength);
