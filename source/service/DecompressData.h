// Inflating a downloaded payload (a zlib stream) in place.
#ifndef SKYVANE_DECOMPRESSDATA_H
#define SKYVANE_DECOMPRESSDATA_H

// *data is a malloc block of *size bytes.  On success it is replaced by a
// new malloc block with the inflated bytes (the old one is freed) and
// *size by their count; on failure both are left as they were.  The output
// starts at the input size + 256 KiB and grows in 256 KiB steps.
bool decompressData(unsigned char** data, unsigned int* size);

#endif
