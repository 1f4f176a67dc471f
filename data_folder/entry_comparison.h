#pragma once
// Whether two entries, of the same archive or of two, hold the same bytes: both decoded and compared byte for
// byte, whatever their stored sizes or packing. Entries that decode to a few MiB are compared whole in
// memory; larger ones piece by piece as both are decoded side by side, in a few MiB whatever their size.
#include <string>

#include "archive/bsa_file.h"

struct TEntryComparison {
    enum class Outcome { Same, Different, Failed };
    Outcome outcome = Outcome::Same;
    // When Failed: which entry could not be read (0 the first, 1 the second) and the reader's reason
    // (FetchEntry's).
    int failedSide = 0;
    std::u16string reason;
};

// Reads both entries and compares their bytes. The readers must be two objects, even for two entries of one
// archive (TwbBSAFile::shareIndex gives a second): a large second entry is decoded on another thread while
// the first is decoded on this one. Nothing raises.
TEntryComparison CompareEntryContents(TwbBSAFile& firstReader, TEntryRef first, TwbBSAFile& secondReader,
                                      TEntryRef second);
