/* GRIB edition 1 writer with simple packing, for tests, benchmarks and the
   stand-in forecast server. */
#include "grib_writer.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char func[] = "grib_encode";

void init_grib_write_spec(GRIB_WRITE_SPEC* spec)
{
    memset(spec, 0, sizeof *spec);
    spec->pds_length = 28;
    spec->table_version = 2;
    spec->centre = 7;
    spec->process = 96;
    spec->grid_id = 255;
    spec->param = 11;
    spec->level_type = 105;
    spec->level_value = 2;
    spec->year = 2009;
    spec->month = 1;
    spec->day = 31;
    spec->hour = 18;
    spec->time_unit = 1;
    spec->has_gds = 1;
    spec->gds_length = 32;
    spec->ni = 180;
    spec->nj = 91;
    spec->lat1 = 90000;
    spec->lon1 = 0;
    spec->lat2 = -90000;
    spec->lon2 = 358000;
    spec->di = 2000;
    spec->dj = 2000;
    spec->res_flag = 128;
    spec->bits_per_value = 16;
    spec->auto_scale = 1;
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

static int is_present(const GRIB_WRITE_SPEC* spec, unsigned long k)
{
    return !spec->bitmap || spec->bitmap[k];
}

static void write_pds(const GRIB_WRITE_SPEC* spec, octets* p)
{
    int century = (spec->year - 1) / 100 + 1;
    int year_of_century = spec->year - (century - 1) * 100;

    grib_put_uint(p, (unsigned long)spec->pds_length, 3);
    p[3] = (octets)spec->table_version;
    p[4] = (octets)spec->centre;
    p[5] = (octets)spec->process;
    p[6] = (octets)spec->grid_id;
    p[7] = (octets)((spec->has_gds ? 128 : 0) | (spec->bitmap ? 64 : 0));
    p[8] = (octets)spec->param;
    p[9] = (octets)spec->level_type;
    /* For layers the same two octets hold the top, then the bottom. */
    grib_put_uint(p + 10, (unsigned long)spec->level_value & 0xFFFF, 2);
    p[12] = (octets)year_of_century;
    p[13] = (octets)spec->month;
    p[14] = (octets)spec->day;
    p[15] = (octets)spec->hour;
    p[16] = (octets)spec->minute;
    p[17] = (octets)spec->time_unit;
    if (spec->time_range == 10) {
        grib_put_uint(p + 18, (unsigned long)spec->p1 & 0xFFFF, 2);
    } else {
        p[18] = (octets)spec->p1;
        p[19] = (octets)spec->p2;
    }
    p[20] = (octets)spec->time_range;
    grib_put_uint(p + 21, (unsigned long)spec->avg_count, 2);
    p[23] = (octets)spec->missing_count;
    p[24] = (octets)century;
    p[25] = (octets)spec->subcentre;
    grib_put_signed(p + 26, spec->dec_scale, 2);
    if (spec->pds_length > 40)
        p[40] = (octets)spec->ext_flag;
    if (spec->pds_length >= 46) {
        p[41] = (octets)spec->second;
        grib_put_uint(p + 42, (unsigned long)spec->track_num, 2);
        p[44] = (octets)spec->parm_sub;
        p[45] = (octets)spec->sub_tbl;
    }
}

static void write_gds(const GRIB_WRITE_SPEC* spec, octets* p)
{
    grib_put_uint(p, (unsigned long)spec->gds_length, 3);
    p[3] = 0;
    p[4] = 255;
    p[5] = (octets)spec->data_type;
    grib_put_uint(p + 6, (unsigned long)spec->ni, 2);
    grib_put_uint(p + 8, (unsigned long)spec->nj, 2);
    grib_put_signed(p + 10, spec->lat1, 3);
    grib_put_signed(p + 13, spec->lon1, 3);
    p[16] = (octets)spec->res_flag;
    grib_put_signed(p + 17, spec->lat2, 3);
    grib_put_signed(p + 20, spec->lon2, 3);
    grib_put_uint(p + 23, (unsigned long)spec->di, 2);
    grib_put_uint(p + 25, (unsigned long)spec->dj, 2);
    p[27] = (octets)spec->scan_mode;
    if (spec->gds_length >= 42) {
        grib_put_signed(p + 32, spec->lat_southpole, 3);
        grib_put_signed(p + 35, spec->lon_southpole, 3);
        grib_put_uint(p + 38, (unsigned long)(uint32_t)spec->rotation, 4);
    }
}

static unsigned long write_bms(const GRIB_WRITE_SPEC* spec, unsigned long npoints, octets* p)
{
    unsigned long octets_needed = (npoints + 7) / 8, k;
    grib_put_uint(p, 6 + octets_needed, 3);
    p[3] = (octets)(octets_needed * 8 - npoints);
    for (k = 0; k < npoints; ++k)
        if (spec->bitmap[k])
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

static struct packing choose_packing(const GRIB_WRITE_SPEC* spec, const float* values,
                                     unsigned long npoints)
{
    struct packing pk;
    double lo = 0, hi = 0;
    unsigned long k;
    int seen = 0;

    pk.ten_d = pow(10.0, spec->dec_scale);
    for (k = 0; k < npoints; ++k) {
        double v;
        if (!is_present(spec, k))
            continue;
        v = values[k] * pk.ten_d;
        if (!seen || v < lo)
            lo = v;
        if (!seen || v > hi)
            hi = v;
        seen = 1;
    }
    pk.bin_scale = spec->bin_scale;
    pk.reference_ibm = grib_ibm_from_double(spec->auto_scale ? lo : spec->reference);
    pk.reference = grib_ibm_to_double(pk.reference_ibm);
    if (spec->auto_scale) {
        double range = hi - pk.reference;
        double max_x = ldexp(1.0, spec->bits_per_value) - 1;
        pk.bin_scale = 0;
        if (spec->bits_per_value > 0 && range > 0) {
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
static unsigned long write_bds(const GRIB_WRITE_SPEC* spec, const float* values,
                               unsigned long npoints, octets* p)
{
    struct packing pk = choose_packing(spec, values, npoints);
    int nbits = spec->bits_per_value;
    unsigned long packed = 0, k, data_bits, length, unused;
    uint64_t acc = 0;
    int acc_bits = 0;
    octets* out = p + 11;

    for (k = 0; k < npoints; ++k)
        packed += (unsigned long)is_present(spec, k);
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
        if (!is_present(spec, k))
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

static int check_spec(const GRIB_WRITE_SPEC* spec, unsigned long npoints, char* errmsg)
{
    const char* problem = NULL;
    if (spec->bits_per_value < 0 || spec->bits_per_value > 32)
        problem = "bits per value must be 0 to 32";
    else if (spec->pds_length < 28)
        problem = "a PDS has at least 28 octets";
    else if (spec->has_gds && spec->gds_length < 32)
        problem = "a GDS has at least 32 octets";
    else if (spec->has_gds && (unsigned long)spec->ni * (unsigned long)spec->nj != npoints)
        problem = "the value count differs from ni * nj";
    else if (npoints == 0 && spec->bits_per_value > 0)
        problem = "no values";
    if (!problem)
        return 0;
    snprintf(errmsg, GRIB_ERRMSG_LEN, "%s: %s\n", func, problem);
    return 1;
}

int grib_encode(const GRIB_WRITE_SPEC* spec, const float* values, unsigned long npoints,
                octets** out, unsigned long* out_len, GRIB_WRITE_LAYOUT* layout, char* errmsg)
{
    GRIB_WRITE_LAYOUT where;
    unsigned long capacity, at;
    octets* msg;

    if (check_spec(spec, npoints, errmsg))
        return 1;
    capacity = 8 + (unsigned long)spec->pds_length +
               (spec->has_gds ? (unsigned long)spec->gds_length : 0) +
               (spec->bitmap ? 6 + (npoints + 7) / 8 : 0) + 12 +
               (npoints * (unsigned long)spec->bits_per_value + 7) / 8 + 4;
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
    write_pds(spec, msg + at);
    at += (unsigned long)spec->pds_length;
    if (spec->has_gds) {
        where.gds_offset = at;
        write_gds(spec, msg + at);
        at += (unsigned long)spec->gds_length;
    }
    if (spec->bitmap) {
        where.bms_offset = at;
        at += write_bms(spec, npoints, msg + at);
    }
    where.bds_offset = at;
    where.data_offset = at + 11;
    at += write_bds(spec, values, npoints, msg + at);
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
