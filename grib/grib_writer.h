/*
 * GRIB edition 1 writer: simple packing at 0 to 32 bits per value, an
 * optional latitude/longitude GDS and an optional bitmap.  Used to build
 * test files, benchmark files and the forecasts of the stand-in server
 * from readable parameters.
 */
#ifndef SKYVANE_GRIB_WRITER_H
#define SKYVANE_GRIB_WRITER_H

#include "grib.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct grib_write_params {
    /* Product definition. */
    int pds_length;       /* 28 by default; 41 adds the extension flag, 46 the
                             extension fields */
    int table_version;
    int centre;
    int subcentre;
    int process;
    int grid_id;
    int param;
    int level_type;
    int level_value;      /* octets 11-12; for layers, top octet then bottom */
    int year;             /* full year, e.g. 2009; century and year of century
                             are derived from it */
    int month, day, hour, minute;
    int time_unit;
    int p1, p2;           /* with time range 10, p1 fills octets 19-20 */
    int time_range;
    int avg_count;
    int missing_count;
    int dec_scale;        /* D: values are multiplied by 10^D before packing */
    int ext_flag;         /* octet 41, written when pds_length > 40 */
    int second, track_num, parm_sub, sub_tbl; /* octets 42-46 */

    /* Grid description (data type 0 or 10, latitude/longitude). */
    int has_gds;
    int gds_length;       /* 32 by default; 42 adds south pole and rotation */
    int data_type;
    int ni, nj;
    int lat1, lon1, lat2, lon2; /* millidegrees */
    int di, dj;                 /* millidegrees */
    int res_flag;
    int scan_mode;
    int lat_southpole, lon_southpole;
    int rotation;               /* raw 32 bits, octets 39-42 */

    /* Bitmap: one byte per grid point, non-zero where a value is present;
       null for no bitmap. */
    const unsigned char* bitmap;

    /* Packing. */
    int bits_per_value;   /* 0 (constant field) to 32 */
    int auto_scale;       /* non-zero: reference and binary scale from the
                             values' range */
    int bin_scale;        /* E, used when auto_scale is 0 */
    double reference;     /* R, used when auto_scale is 0 (after IBM
                             rounding towards minus infinity) */
} GRIB_WRITE_PARAMS;

/* Where the writer put each section, for tests that alter a message. */
typedef struct grib_write_layout {
    unsigned long total_length;
    unsigned long pds_offset;
    unsigned long gds_offset; /* 0 when absent */
    unsigned long bms_offset; /* 0 when absent */
    unsigned long bds_offset;
    unsigned long data_offset; /* first packed value */
} GRIB_WRITE_LAYOUT;

/* A 2-degree global grid (180 x 91, north to south) with a GDS, 2 m
   temperature from centre 7, reference time
   2009-01-31 18:00, time range 0, automatic scaling at 16 bits. */
void init_grib_write_params(GRIB_WRITE_PARAMS* params);

/*
 * Encodes npoints values (with a GDS, ni * nj of them; with a bitmap, the
 * entries at absent points are ignored).  On success *out receives a
 * malloc'ed message of *out_len octets.  Status 0, or 1 with a "grib_encode"
 * line in errmsg.
 */
int grib_encode(const GRIB_WRITE_PARAMS* params, const float* values,
                unsigned long npoints, octets** out, unsigned long* out_len,
                GRIB_WRITE_LAYOUT* layout, char* errmsg);

/* IBM single-precision representation of x, rounded towards minus
   infinity; the inverse of the reference-value decoding. */
uint32_t grib_ibm_from_double(double x);
double grib_ibm_to_double(uint32_t ibm);

/* Big-endian and sign-and-magnitude stores, for tests that alter a message. */
void grib_put_uint(octets* at, unsigned long value, int noctets);
void grib_put_signed(octets* at, long value, int noctets);

#ifdef __cplusplus
}
#endif

#endif
