/* GRIB edition 1 writer with simple packing, for tests, benchmarks and the
   stand-in forecast server. */
#include "grib_writer.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char func[] = "grib_encode";

void init_grib_write_params(GRIB_WRITE_PARAMS* params)
{
    memset(params, 0, sizeof *params);
    params->pds_length = 28;
    params->table_version = 2;
    params->centre = 7;
    params->process = 96;
    params->grid_id = 255;
    params->param = 11;
    params->level_type = 105;
    params->level_value = 2;
    params->year = 2009;
    params->month = 1;
    params->day = 31;
    params->hour = 18;
    params->time_unit = 1;
    params->has_gds = 1;
    params->gds_length = 32;
    params->ni = 180;
    params->nj = 91;
    params->lat1 = 90000;
    params->lon1 = 0;
    params->lat2 = -90000;
    params->lon2 = 358000;
    params->di = 2000;
    params->dj = 2000;
    params->res_flag = 128;
    params->bits_per_value = 16;
    params->auto_scale = 1;
}

void grib_put_uint(octets* at, unsigned long value, int noctets)
{
    int i;
    for (i = noctets - 1; i >= 0; --i) {
        at[i] = (octets)(value & 0xFF);
        value >>= 8;
    }
}

void grib_put_signed(octets* at, long value, int noctets)
{
    unsigned long sign = 1UL << (noctets * 8 - 1);
    unsigned long magnitude = (unsigned long)(value < 0 ? -value : value);
    grib_put_uint(at, (magnitude & (sign - 1)) | (value < 0 ? sign : 0), noctets);
}

double grib_ibm_to_double(uint32_t ibm)
{
    double v = ldexp((double)(ibm & 0xFFFFFF), -24) * pow(16.0, (double)((ibm >> 24) & 0x7F) - 64);
    return (ibm & 0x80000000u) ? -v : v;
}

uint32_t grib_ibm_from_double(double x)
{
    double a = fabs(x);
    int characteristic = 64;
    double mantissa;
    uint32_t m;

    if (a == 0.0)
        return 0;
    while (a >= 1.0 && characteristic < 127) {
        a /= 16.0;
        ++characteristic;
    }
    while (a < 1.0 / 16.0 && characteristic > 0) {
        a *= 16.0;
        --characteristic;
    }
    mantissa = ldexp(a, 24);
    /* Towards minus infinity: a positive value truncates, a negative one
       rounds its magnitude up. */
    m = (uint32_t)(x > 0 ? floor(mantissa) : ceil(mantissa));
    if (m > 0xFFFFFF) {
        m >>= 4;
        ++characteristic;
    }
    return (x < 0 ? 0x80000000u : 0) | ((uint32_t)characteristic << 24) | m;
}

static int is_present(const GRIB_WRITE_PARAMS* params, unsigned long k)
{
    return !params->bitmap || params->bitmap[k];
}

static void write_pds(const GRIB_WRITE_PARAMS* params, octets* p)
{
    int century = (params->year - 1) / 100 + 1;
    int year_of_century = params->year - (century - 1) * 100;

    grib_put_uint(p, (unsigned long)params->pds_length, 3);
    p[3] = (octets)params->table_version;
    p[4] = (octets)params->centre;
    p[5] = (octets)params->process;
    p[6] = (octets)params->grid_id;
    p[7] = (octets)((params->has_gds ? 128 : 0) | (params->bitmap ? 64 : 0));
    p[8] = (octets)params->param;
    p[9] = (octets)params->level_type;
    /* For layers the same two octets hold the top, then the bottom. */
    grib_put_uint(p + 10, (unsigned long)params->level_value & 0xFFFF, 2);
    p[12] = (octets)year_of_century;
    p[13] = (octets)params->month;
    p[14] = (octets)params->day;
    p[15] = (octets)params->hour;
    p[16] = (octets)params->minute;
    p[17] = (octets)params->time_unit;
    if (params->time_range == 10) {
        grib_put_uint(p + 18, (unsigned long)params->p1 & 0xFFFF, 2);
    } else {
        p[18] = (octets)params->p1;
        p[19] = (octets)params->p2;
    }
    p[20] = (octets)params->time_range;
    grib_put_uint(p + 21, (unsigned long)params->avg_count, 2);
    p[23] = (octets)params->missing_count;
    p[24] = (octets)century;
    p[25] = (octets)params->subcentre;
    grib_put_signed(p + 26, params->dec_scale, 2);
    if (params->pds_length > 40)
        p[40] = (octets)params->ext_flag;
    if (params->pds_length >= 46) {
        p[41] = (octets)params->second;
        grib_put_uint(p + 42, (unsigned long)params->track_num, 2);
        p[44] = (octets)params->parm_sub;
        p[45] = (octets)params->sub_tbl;
    }
}

static void write_gds(const GRIB_WRITE_PARAMS* params, octets* p)
{
    grib_put_uint(p, (unsigned long)params->gds_length, 3);
    p[3] = 0;
    p[4] = 255;
    p[5] = (octets)params->data_type;
    grib_put_uint(p + 6, (unsigned long)params->ni, 2);
    grib_put_uint(p + 8, (unsigned long)params->nj, 2);
    grib_put_signed(p + 10, params->lat1, 3);
    grib_put_signed(p + 13, params->lon1, 3);
    p[16] = (octets)params->res_flag;
    grib_put_signed(p + 17, params->lat2, 3);
    grib_put_signed(p + 20, params->lon2, 3);
    grib_put_uint(p + 23, (unsigned long)params->di, 2);
    grib_put_uint(p + 25, (unsigned long)params->dj, 2);
    p[27] = (octets)params->scan_mode;
    if (params->gds_length >= 42) {
        grib_put_signed(p + 32, params->lat_southpole, 3);
        grib_put_signed(p + 35, params->lon_southpole, 3);
        grib_put_uint(p + 38, (unsigned long)(uint32_t)params->rotation, 4);
    }
}

static unsigned long write_bms(const GRIB_WRITE_PARAMS* params, unsigned long npoints, octets* p)
{
    unsigned long octets_needed = (npoints + 7) / 8, k;
    grib_put_uint(p, 6 + octets_needed, 3);
    p[3] = (octets)(octets_needed * 8 - npoints);
    for (k = 0; k < npoints; ++k)
        if (params->bitmap[k])
            p[6 + k / 8] |= (octets)(0x80 >> (k % 8));
    return 6 + octets_needed;
}

/* Reference R, binary scale E and decimal factor of the packing. */
struct packing {
    uint32_t reference_ibm;
    double reference;
    int bin_scale;
    double ten_d;
};

static struct packing choose_packing(const GRIB_WRITE_PARAMS* params, const float* values,
                                     unsigned long npoints)
{
    struct packing pk;
    double lo = 0, hi = 0;
    unsigned long k;
    int seen = 0;

    pk.ten_d = pow(10.0, params->dec_scale);
    for (k = 0; k < npoints; ++k) {
        double v;
        if (!is_present(params, k))
            continue;
        v = values[k] * pk.ten_d;
        if (!seen || v < lo)
            lo = v;
        if (!seen || v > hi)
            hi = v;
        seen = 1;
    }
    pk.bin_scale = params->bin_scale;
    pk.reference_ibm = grib_ibm_from_double(params->auto_scale ? lo : params->reference);
    pk.reference = grib_ibm_to_double(pk.reference_ibm);
    if (params->auto_scale) {
        double range = hi - pk.reference;
        double max_x = ldexp(1.0, params->bits_per_value) - 1;
        pk.bin_scale = 0;
        if (params->bits_per_value > 0 && range > 0) {
            pk.bin_scale = (int)ceil(log2(range / max_x));
            while (ldexp(max_x, pk.bin_scale) < range)
                ++pk.bin_scale;
        }
    }
    return pk;
}

static uint64_t pack_one(double v, const struct packing* pk, int nbits)
{
    double x = floor((v * pk->ten_d - pk->reference) / ldexp(1.0, pk->bin_scale) + 0.5);
    double max_x = ldexp(1.0, nbits) - 1;
    if (x < 0 || x != x)
        x = 0;
    if (x > max_x)
        x = max_x;
    return (uint64_t)x;
}

/* Writes the BDS at p; returns its length. */
static unsigned long write_bds(const GRIB_WRITE_PARAMS* params, const float* values,
                               unsigned long npoints, octets* p)
{
    struct packing pk = choose_packing(params, values, npoints);
    int nbits = params->bits_per_value;
    unsigned long packed = 0, k, data_bits, length, unused;
    uint64_t acc = 0;
    int acc_bits = 0;
    octets* out = p + 11;

    for (k = 0; k < npoints; ++k)
        packed += (unsigned long)is_present(params, k);
    data_bits = nbits > 0 ? packed * (unsigned long)nbits : 0;
    length = 11 + (data_bits + 7) / 8;
    if (length % 2)
        ++length; /* sections conventionally end on an even octet */
    unused = (length - 11) * 8 - data_bits;
    grib_put_uint(p, length, 3);
    p[3] = (octets)(unused & 0x0F);
    grib_put_signed(p + 4, pk.bin_scale, 2);
    grib_put_uint(p + 6, pk.reference_ibm, 4);
    p[10] = (octets)nbits;
    if (nbits == 0)
        return length;
    for (k = 0; k < npoints; ++k) {
        if (!is_present(params, k))
            continue;
        acc = (acc << nbits) | pack_one(values[k], &pk, nbits);
        acc_bits += nbits;
        while (acc_bits >= 8) {
            *out++ = (octets)(acc >> (acc_bits - 8));
            acc_bits -= 8;
        }
    }
    if (acc_bits > 0)
        *out = (octets)(acc << (8 - acc_bits));
    return length;
}

static int check_params(const GRIB_WRITE_PARAMS* params, unsigned long npoints, char* errmsg)
{
    const char* problem = NULL;
    if (params->bits_per_value < 0 || params->bits_per_value > 32)
        problem = "bits per value must be 0 to 32";
    else if (params->pds_length < 28)
        problem = "a PDS has at least 28 octets";
    else if (params->has_gds && params->gds_length < 32)
        problem = "a GDS has at least 32 octets";
    else if (params->has_gds && (unsigned long)params->ni * (unsigned long)params->nj != npoints)
        problem = "the value count differs from ni * nj";
    else if (npoints == 0 && params->bits_per_value > 0)
        problem = "no values";
    if (!problem)
        return 0;
    snprintf(errmsg, GRIB_ERRMSG_LEN, "%s: %s\n", func, problem);
    return 1;
}

int grib_encode(const GRIB_WRITE_PARAMS* params, const float* values, unsigned long npoints,
                octets** out, unsigned long* out_len, GRIB_WRITE_LAYOUT* layout, char* errmsg)
{
    GRIB_WRITE_LAYOUT where;
    unsigned long capacity, at;
    octets* msg;

    if (check_params(params, npoints, errmsg))
        return 1;
    capacity = 8 + (unsigned long)params->pds_length +
               (params->has_gds ? (unsigned long)params->gds_length : 0) +
               (params->bitmap ? 6 + (npoints + 7) / 8 : 0) + 12 +
               (npoints * (unsigned long)params->bits_per_value + 7) / 8 + 4;
    if (capacity > 0xFFFFFF) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s: message of %lu octets exceeds the GRIB1 limit\n",
                 func, capacity);
        return 1;
    }
    msg = (octets*)calloc(1, capacity);
    if (!msg) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s: out of memory for %lu octets\n", func, capacity);
        return 1;
    }
    memset(&where, 0, sizeof where);
    memcpy(msg, "GRIB", 4);
    msg[7] = 1;
    at = 8;
    where.pds_offset = at;
    write_pds(params, msg + at);
    at += (unsigned long)params->pds_length;
    if (params->has_gds) {
        where.gds_offset = at;
        write_gds(params, msg + at);
        at += (unsigned long)params->gds_length;
    }
    if (params->bitmap) {
        where.bms_offset = at;
        at += write_bms(params, npoints, msg + at);
    }
    where.bds_offset = at;
    where.data_offset = at + 11;
    at += write_bds(params, values, npoints, msg + at);
    memcpy(msg + at, "7777", 4);
    at += 4;
    grib_put_uint(msg + 4, at, 3);
    where.total_length = at;
    if (layout)
        *layout = where;
    *out = msg;
    *out_len = at;
    return 0;
}
