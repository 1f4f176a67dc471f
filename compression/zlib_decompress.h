#pragma once
// zlib inflation of version-104 entries: one complete zlib stream inflated in one call into the caller's
// buffer.
#include <cstdint>

#include "base/exceptions.h"
#include "base/stream.h"

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
// Result: the bytes inflated into destination.
int64_t ZlibDecompressBuffer(const void* source, int32_t sourceLength, void* destination,
                             int32_t destinationLength);

// The same inflation piece by piece, for entries too large to hold: reads the zlib stream from source until
// its end or the source's, and writes destinationLength bytes to destination (with WriteBuffer, in pieces of
// at most kZlibPieceBytes): what ZlibDecompressBuffer leaves in a destination of that size, then zeros for
// the part a stream that ends early leaves alone. Raises what ZlibDecompressBuffer raises for the same
// input, after writing the bytes inflated before the failure; the destination's own errors pass. Holds two
// pieces of working memory besides zlib's.
void ZlibInflateStream(TStream& source, TStream& destination, int64_t destinationLength);
inline constexpr int32_t kZlibPieceBytes = 256 * 1024;
