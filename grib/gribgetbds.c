/* Binary Data Section decoder: simple grid-point packing only. */
#include "grib.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char func[] = "gribgetbds";

/* Header octets before the packed values. */
#define BDS_HEADER_OCTETS 11

static unsigned long get_bits(const octets* p, unsigned long* bit, unsigned nbits,
                              const char* name)
{
    unsigned long value = 0;
    gbyte(p, &value, bit, nbits);
    grib_trace("%s\n", name);
    return value;
}

static int32_t sign_magnitude16(unsigned long raw)
{
    int32_t magnitude = (int32_t)(raw & 0x7FFF);
    return (raw & 0x8000) ? -magnitude : magnitude;
}

/* IBM single precision: sign bit, 7-bit base-16 characteristic, 24-bit
   fraction.  The power is exact in double; the products are single. */
static float ibm_reference(const octets* p)
{
    unsigned characteristic = p[0] & 0x7F;
    unsigned long mantissa = ((unsigned long)p[1] << 16) | ((unsigned long)p[2] << 8) | p[3];
    float power = (float)pow(16.0, (double)characteristic - 64.0);
    float r = power * (float)mantissa * 0x1p-24f;
    return (p[0] & 0x80) ? -r : r;
}

static uint64_t load_be64(const octets* p)
{
    uint64_t w;
    memcpy(&w, p, sizeof w);
    return __builtin_bswap64(w);
}

/* The scaling of one packed integer, every step in single precision. */
static inline float scaled(float x, float two_e, float reference, float ten_d)
{
    return (x * two_e + reference) / ten_d;
}

/*
 * Unpacks npts fields of nbits bits from `data`, which holds `avail` octets.
 * The common widths read whole octets; the others take a 64-bit word per
 * value while eight octets remain and fall back to the bit reader at the
 * end, so nothing beyond `avail` is read.
 */
static void unpack(const octets* data, unsigned long avail, unsigned nbits,
                   unsigned long npts, float two_e, float reference, float ten_d,
                   float* out)
{
    unsigned long k = 0;
    switch (nbits) {
    case 8:
        for (; k < npts; ++k)
            out[k] = scaled((float)data[k], two_e, reference, ten_d);
        return;
    case 16:
        for (; k < npts; ++k) {
            unsigned x = ((unsigned)data[2 * k] << 8) | data[2 * k + 1];
            out[k] = scaled((float)x, two_e, reference, ten_d);
        }
        return;
    case 24:
        for (; k < npts; ++k) {
            const octets* p = data + 3 * k;
            unsigned long x = ((unsigned long)p[0] << 16) | ((unsigned long)p[1] << 8) | p[2];
            out[k] = scaled((float)x, two_e, reference, ten_d);
        }
        return;
    case 32:
        for (; k < npts; ++k) {
            const octets* p = data + 4 * k;
            unsigned long x = ((unsigned long)p[0] << 24) | ((unsigned long)p[1] << 16) |
                              ((unsigned long)p[2] << 8) | p[3];
            out[k] = scaled((float)x, two_e, reference, ten_d);
        }
        return;
    default:
        break;
    }
    for (; k < npts; ++k) {
        unsigned long bit = k * nbits;
        unsigned long x;
        if ((bit >> 3) + 8 > avail)
            break;
        x = (unsigned long)((load_be64(data + (bit >> 3)) << (bit & 7)) >> (64 - nbits));
        out[k] = scaled((float)x, two_e, reference, ten_d);
    }
    for (; k < npts; ++k) {
        unsigned long bit = k * nbits, x = 0;
        gbyte_quiet(data, &x, &bit, nbits);
        out[k] = scaled((float)x, two_e, reference, ten_d);
    }
}

static int decode_packed(const octets* bds_start, BMS_INPUT* bms, BDS_HEAD_INPUT* head,
                         unsigned unused_bits, float two_e, float ten_d,
                         float** ppgrib_data, char* errmsg)
{
    long data_bits = (long)head->length * 8 - (long)unused_bits - BDS_HEADER_OCTETS * 8;
    unsigned long npts = data_bits > 0 ? (unsigned long)data_bits / head->usBit_pack_num : 0;
    float* values;

    if (bms->uslength > 6 && npts != bms->ulbits_set) {
        snprintf(errmsg, GRIB_ERRMSG_LEN,
                 "%s:  BMS present, #datapts calculated (%d) not same as BMS's set bits (%d)\n",
                 func, (int)npts, (int)bms->ulbits_set);
        return 2;
    }
    /* With a bitmap the grid counts the missing points too. */
    if (bms->uslength <= 6 && head->ulGrid_size != 0 && head->ulGrid_size != npts) {
        snprintf(errmsg, GRIB_ERRMSG_LEN,
                 "%s:  GDS present, #datapts calculated (%d) not same as GDS's grid size (%d)\n",
                 func, (int)npts, (int)head->ulGrid_size);
        return 3;
    }
    head->ulGrid_size = (uint32_t)npts;
    values = (float*)malloc((npts ? npts : 1) * sizeof(float));
    if (!values) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s: failed to malloc Grib_Data\n", func);
        return 4;
    }
    unpack(bds_start + BDS_HEADER_OCTETS, head->length - BDS_HEADER_OCTETS,
           head->usBit_pack_num, npts, two_e, head->fReference, ten_d, values);
    *ppgrib_data = values;
    return 0;
}

static int decode_constant(BDS_HEAD_INPUT* head, float ten_d, float** ppgrib_data,
                           char* errmsg)
{
    float value = head->fReference / ten_d;
    float* values = NULL;
    unsigned long i;

    if (head->ulGrid_size == 0) {
        grib_trace("%s: constant field without a grid size, taking 1 point\n", func);
        head->ulGrid_size = 1;
    }
    /* A grid larger than any message could carry packed is refused rather
       than allocated; so is an allocation that fails. */
    if (head->ulGrid_size <= GRIB_MAX_POINTS)
        values = (float*)malloc((size_t)head->ulGrid_size * sizeof(float));
    if (!values) {
        snprintf(errmsg, GRIB_ERRMSG_LEN,
                 "%s: failed to create array[%lu] for grid to hold Constant data\n", func,
                 (unsigned long)head->ulGrid_size);
        return 4;
    }
    for (i = 0; i < head->ulGrid_size; ++i)
        values[i] = value;
    *ppgrib_data = values;
    return 0;
}

int gribgetbds(const octets* bds_start, short dec_scale, BMS_INPUT* bms,
               float** ppgrib_data, BDS_HEAD_INPUT* head, char* errmsg)
{
    unsigned long bit = 0;
    unsigned unused_bits;
    float two_e, ten_d;

    grib_trace("Entering %s\n", func);
    head->length = (uint32_t)get_bits(bds_start, &bit, 24, "length");
    if (head->length < BDS_HEADER_OCTETS) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s:  BDS length %lu too short for its header\n",
                 func, (unsigned long)head->length);
        return 6;
    }
    head->usBDS_flag = (uint16_t)get_bits(bds_start, &bit, 4, "usBDS_flag");
    if (head->usBDS_flag != 0) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s:  unrecognized packing algorithm\n", func);
        return 1;
    }
    unused_bits = (unsigned)get_bits(bds_start, &bit, 4, "unused bits");
    head->Bin_sc_fctr = sign_magnitude16(get_bits(bds_start, &bit, 16, "Bin_sc_fctr"));
    head->fReference = ibm_reference(bds_start + 6);
    grib_trace("fReference= %g\n", (double)head->fReference);
    bit = 10 * 8;
    head->usBit_pack_num = (uint16_t)get_bits(bds_start, &bit, 8, "usBit_pack_num");
    if (head->usBit_pack_num > 32) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s:  %d bits per value not supported (at most 32)\n",
                 func, (int)head->usBit_pack_num);
        return 5;
    }
    two_e = (float)ldexp(1.0, head->Bin_sc_fctr);
    ten_d = (float)pow(10.0, (double)dec_scale);
    if (head->usBit_pack_num > 0)
        return decode_packed(bds_start, bms, head, unused_bits, two_e, ten_d, ppgrib_data,
                             errmsg);
    return decode_constant(head, ten_d, ppgrib_data, errmsg);
}
