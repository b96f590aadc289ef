// Inflating a downloaded payload (a zlib stream) in place.
#ifndef SKYVANE_DECOMPRESSDATA_H
#define SKYVANE_DECOMPRESSDATA_H

// The most bytes a payload may inflate to: far above any forecast the
// service sends, far below what would exhaust memory or disk when a small
// payload inflates without end.
constexpr unsigned kMaxInflatedBytes = 1u << 30;

enum class Inflation {
    Inflated,
    NotZlib,     // not one complete zlib stream
    TooLarge,    // more than the limit
    OutOfMemory  // no memory for the output
};

// *data is a malloc block of *size bytes.  Inflated: it is replaced by a
// new malloc block with the inflated bytes (the old one is freed) and
// *size by their count; otherwise both are left as they were.  The output
// starts at four times the input and doubles as it fills, but never holds
// more than maxBytes + 1 bytes (the one beyond tells a stream of exactly
// maxBytes from a longer one).
Inflation inflateInPlace(unsigned char** data, unsigned* size, unsigned maxBytes = kMaxInflatedBytes);

#endif
