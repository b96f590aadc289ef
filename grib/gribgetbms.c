/* Bit Map Section decoder. */
#include "grib.h"

#include <stdio.h>

static unsigned long count_set_bits(const octets* map, unsigned long nbits)
{
    unsigned long count = 0, i, whole = nbits / 8, rest = nbits % 8;
    for (i = 0; i < whole; ++i)
        count += (unsigned long)__builtin_popcount(map[i]);
    if (rest)
        count += (unsigned long)__builtin_popcount(map[whole] & (0xFF00u >> rest) & 0xFFu);
    return count;
}

int gribgetbms(const octets* bms_start, BMS_INPUT* bms, int gds_present,
               unsigned long grid_size, char* errmsg)
{
    static const char func[] = "gribgetbms";
    unsigned long bit = 0, value = 0;
    long totbits;

    grib_trace("Entering %s\n", func);
    gbyte(bms_start, &value, &bit, 24);
    grib_trace("uslength\n");
    bms->uslength = (uint32_t)value;
    gbyte(bms_start, &value, &bit, 8);
    grib_trace("usUnused_bits\n");
    bms->usUnused_bits = (uint16_t)value;
    gbyte(bms_start, &value, &bit, 16);
    grib_trace("usBMS_id\n");
    bms->usBMS_id = (uint16_t)value;

    if (bms->uslength > 6) {
        totbits = (long)bms->uslength * 8 - bms->usUnused_bits - 48;
        if (totbits < 0) {
            snprintf(errmsg, GRIB_ERRMSG_LEN,
                     "%s: corrupted BMS, %d unused bits exceed the %ld octets of the section\n",
                     func, (int)bms->usUnused_bits, (long)bms->uslength);
            return 1;
        }
        if (gds_present && (unsigned long)totbits != grid_size) {
            snprintf(errmsg, GRIB_ERRMSG_LEN,
                     "%s: corrupted BMS, gds_flag set but totbits %d != ulgrid_sz %d\n",
                     func, (int)totbits, (int)grid_size);
            return 1;
        }
        bms->bit_map = bms_start + 6;
        bms->ulbits_set = (uint32_t)count_set_bits(bms->bit_map, (unsigned long)totbits);
        grib_trace("%s: %ld bits in the bitmap, %lu set\n", func, totbits,
                   (unsigned long)bms->ulbits_set);
    } else {
        grib_trace("%s: predefined bitmap %u, not included\n", func, (unsigned)bms->usBMS_id);
    }
    return 0;
}
