/* Bit-field extraction, most significant bit first. */
#include "grib.h"

void gbyte_quiet(const octets* buf, unsigned long* out,
                 unsigned long* bit_offset, unsigned long nbits)
{
    unsigned long first = *bit_offset;
    const octets* p;
    unsigned long shift;
    uint64_t word = 0;
    unsigned long nbytes, i;

    if (nbits > 32)
        return;
    if (nbits == 0) {
        *out = 0;
        return;
    }
    /* Only the octets that hold the field are touched, so a field that ends
       on the last octet of a buffer never reads past it. */
    p = buf + (first >> 3);
    shift = first & 7;
    nbytes = (shift + nbits + 7) >> 3;
    for (i = 0; i < nbytes; ++i)
        word = (word << 8) | p[i];
    word >>= nbytes * 8 - shift - nbits;
    *out = (unsigned long)(word & ((UINT64_C(1) << nbits) - 1));
    *bit_offset = first + nbits;
}

void gbyte(const octets* buf, unsigned long* out, unsigned long* bit_offset,
           unsigned long nbits)
{
    unsigned long skip = *bit_offset;
    if (nbits > 32)
        return;
    gbyte_quiet(buf, out, bit_offset, nbits);
    grib_trace("gbyte(skip=%lu %lu bits)= %lu stored as ", skip, nbits, *out);
}
