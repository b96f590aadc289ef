/* Expands packed values onto the full grid of a bitmap. */
#include "grib.h"

#include <stdio.h>
#include <stdlib.h>

static const char func[] = "apply_bitmap";

/*
 * Walks the bitmap, taking packed values for 1-bits and the fill value for
 * 0-bits.  Returns 0, or 3 when a 1-bit finds no packed value left.
 */
static int expand(const octets* map, unsigned long totbits, const float* packed,
                  unsigned long available, float fill_value, float* out)
{
    unsigned long bit = 0, used = 0;
    while (bit < totbits) {
        octets byte = map[bit >> 3];
        int b;
        /* Whole octets of all-present or all-missing points are the common case. */
        if ((bit & 7) == 0 && bit + 8 <= totbits) {
            if (byte == 0) {
                for (b = 0; b < 8; ++b)
                    out[bit + b] = fill_value;
                bit += 8;
                continue;
            }
            if (byte == 0xFF && used + 8 <= available) {
                for (b = 0; b < 8; ++b)
                    out[bit + b] = packed[used + b];
                used += 8;
                bit += 8;
                continue;
            }
        }
        if (byte & (0x80 >> (bit & 7))) {
            if (used >= available)
                return 3;
            out[bit] = packed[used++];
        } else {
            out[bit] = fill_value;
        }
        ++bit;
    }
    return 0;
}

int apply_bitmap(BMS_INPUT* bms, float** ppgrib_data, float fill_value,
                 BDS_HEAD_INPUT* bds_head, char* errmsg)
{
    long totbits;
    unsigned long available;
    float* expanded;

    grib_trace("Entering %s\n", func);
    if (bms->uslength == 6) {
        grib_trace("%s: predefined bitmap %u is not supported, values left packed\n", func,
                   (unsigned)bms->usBMS_id);
        return 0;
    }
    if (!bms->bit_map)
        return 1;
    if (bms->ulbits_set == 0) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s: No bits set in bitmap.  No data retrieved!!\n",
                 func);
        return 4;
    }
    /* Never more packed values are taken than the array holds. */
    available = *ppgrib_data ? bds_head->ulGrid_size : 0;
    if (available > bms->ulbits_set)
        available = bms->ulbits_set;
    totbits = (long)bms->uslength * 8 - bms->usUnused_bits - 48;
    if (totbits <= 0 || (unsigned long)totbits > GRIB_MAX_POINTS) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s:  accessing more than %d elements in Grib_data[]\n",
                 func, (int)available);
        return 3;
    }
    expanded = (float*)malloc((size_t)totbits * sizeof(float));
    if (!expanded) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s: Error mallocing %ld bytes\n", func, totbits);
        return 2;
    }
    if (expand(bms->bit_map, (unsigned long)totbits, *ppgrib_data, available, fill_value,
               expanded) != 0) {
        free(expanded);
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s:  accessing more than %d elements in Grib_data[]\n",
                 func, (int)available);
        return 3;
    }
    bds_head->ulGrid_size = (uint32_t)totbits;
    free(*ppgrib_data);
    *ppgrib_data = expanded;
    return 0;
}
