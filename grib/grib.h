/*
 * Skyvane GRIB edition 1 decoding library.
 *
 * Plain structures and functions returning an int status (0 = success).
 * Routines that can fail take a caller-owned error buffer of
 * GRIB_ERRMSG_LEN characters; on failure they write one line into it,
 * beginning with the routine's name.  Callers clear its first character
 * before a call.
 *
 * The step-by-step trace goes to standard output only when the environment
 * variable SKYVANE_GRIB_TRACE is set (see grib_trace).
 */
#ifndef SKYVANE_GRIB_H
#define SKYVANE_GRIB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned char octets;

#define GRIB_ERRMSG_LEN 2000

/* Initial size of a GRIB_HDR's message buffer. */
#define GRIB_INITIAL_MSG_SIZE 50000L

/* Octets read per step of the forward scan. */
#define GRIB_SEEK_WINDOW 5004

/*
 * Largest number of points a message may describe.  A packed field can
 * never exceed it (a message of at most 2^24 octets at one bit per value);
 * constant fields, whose size comes from the grid alone, are held to the
 * same bound so that a tiny message cannot demand gigabytes.
 */
#define GRIB_MAX_POINTS (1UL << 27)

/* One located message, held whole, with its section pointers. */
typedef struct grib_hdr {
    uint8_t shuffled;
    int32_t msg_length;
    int32_t ids_len;
    int32_t pds_len;
    int32_t gds_len;
    int32_t bms_len;
    int32_t bds_len;
    int32_t eds_len;
    int32_t abs_size;
    octets* entire_msg;
    octets* ids_ptr;
    octets* pds_ptr;
    octets* gds_ptr;
    octets* bms_ptr;
    octets* bds_ptr;
    octets* eds_ptr;
} GRIB_HDR;

/* Product Definition Section. */
typedef struct pds_input {
    uint16_t uslength;
    uint16_t usEd_num;
    uint16_t usParm_tbl;
    uint16_t usCenter_id;
    uint16_t usProc_id;
    uint16_t usGrid_id;
    uint16_t usGds_bms_id;
    uint16_t usParm_id;
    uint16_t usLevel_id;
    uint16_t usLevel_octets;
    uint16_t usHeight1;
    uint16_t usHeight2;
    uint16_t usYear;
    uint16_t usMonth;
    uint16_t usDay;
    uint16_t usHour;
    uint16_t usMinute;
    uint16_t usFcst_unit_id;
    uint16_t usP1;
    uint16_t usP2;
    uint16_t usTime_range;
    uint16_t usTime_range_avg;
    uint16_t usTime_range_mis;
    uint16_t usCentury;
    uint16_t usCenter_sub;
    int16_t sDec_sc_fctr;
    uint16_t usExt_flag;
    uint16_t usSecond;
    uint16_t usTrack_num;
    uint16_t usParm_sub;
    uint16_t usSub_tbl;
} PDS_INPUT;

/* Grid Description Section header. */
typedef struct gds_head_input {
    uint16_t usNum_v;
    uint16_t usPl_Pv;
    uint16_t usData_type; /* 255 when no GDS was decoded */
    uint16_t uslength;
} GDS_HEAD_INPUT;

/* Latitude/longitude family: data types 0, 4, 10, 14, 20, 24, 30, 34. */
typedef struct gds_latlon_input {
    uint16_t usData_type;
    uint32_t usNi;
    uint32_t usNj;
    int32_t lLat1;
    int32_t lLon1;
    uint16_t usRes_flag;
    int32_t lLat2;
    int32_t lLon2;
    int32_t iDi;
    int32_t iDj;
    uint16_t usScan_mode;
    uint16_t usZero;
    int32_t lLat_southpole;
    int32_t lLon_southpole;
    int32_t lRotate;
    int32_t lPole_lat;
    int32_t lPole_lon;
    int32_t lStretch;
} GDS_LATLON_INPUT;

/* Lambert conformal, Albers and oblique Lambert: data types 3, 8, 13. */
typedef struct gds_lam_input {
    uint16_t usData_type;
    int32_t iNx;
    int32_t iNy;
    int32_t lLat1;
    int32_t lLon1;
    uint16_t usRes_flag;
    int32_t lLon_orient;
    uint32_t ulDx;
    uint32_t ulDy;
    uint16_t usProj_flag;
    uint16_t usScan_mode;
    int32_t lLat_cut1;
    int32_t lLat_cut2;
    int32_t lLat_southpole;
    int32_t lLon_southpole;
    uint16_t usZero;
} GDS_LAM_INPUT;

/* Polar stereographic: data type 5. */
typedef struct gds_ps_input {
    uint16_t usData_type;
    uint16_t usNx;
    uint16_t usNy;
    int32_t lLat1;
    int32_t lLon1;
    uint16_t usRes_flag;
    int32_t lLon_orient;
    uint32_t ulDx;
    uint32_t ulDy;
    uint16_t usProj_flag;
    uint16_t usScan_mode;
    uint16_t usZero;
} GDS_PS_INPUT;

/* Mercator: data type 1. */
typedef struct mercator {
    uint16_t usData_type;
    int32_t cols;
    int32_t rows;
    int32_t first_lat;
    int32_t first_lon;
    uint16_t usRes_flag;
    int32_t La2;
    int32_t Lo2;
    int32_t latin;
    uint16_t usScan_mode;
    float lon_inc;
    float lat_inc;
    uint16_t usZero;
} mercator;

/* All four projection blocks are present at once; only the one matching
   the data type is filled. */
typedef struct grid_desc_sec {
    GDS_HEAD_INPUT head;
    GDS_LATLON_INPUT llg;
    GDS_LAM_INPUT lam;
    GDS_PS_INPUT pol;
    mercator merc;
} grid_desc_sec;

/* Bit Map Section. */
typedef struct bms_input {
    uint32_t uslength;
    uint16_t usUnused_bits;
    uint16_t usBMS_id;
    uint32_t ulbits_set;
    const octets* bit_map; /* into the message buffer, valid while it is;
                              null when not included */
} BMS_INPUT;

/* Binary Data Section header. */
typedef struct bds_head_input {
    uint32_t length;
    uint16_t usBDS_flag;
    int32_t Bin_sc_fctr;
    float fReference;
    uint16_t usBit_pack_num;
    uint32_t ulGrid_size;
    float fPack_null;
} BDS_HEAD_INPUT;

/* --- Trace --------------------------------------------------------------- */

/* printf-style line to standard output, only when SKYVANE_GRIB_TRACE is set. */
void grib_trace(const char* fmt, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 1, 2)))
#endif
    ;
int grib_trace_enabled(void);

/* --- Message record and locator ----------------------------------------- */

int init_gribhdr(GRIB_HDR** out, char* errmsg);
void free_gribhdr(GRIB_HDR** gh);
int Expand_gribhdr(GRIB_HDR* gh, long size, char* errmsg);
void upd_child_errmsg(const char* caller, char* errmsg);
int grib_seek(const char* filename, long* offset, int read_index, GRIB_HDR* gh,
              char* errmsg);
void display_gribhdr(const GRIB_HDR* gh);

/* --- Bit reader ---------------------------------------------------------- */

void gbyte(const octets* buf, unsigned long* out, unsigned long* bit_offset,
           unsigned long nbits);
void gbyte_quiet(const octets* buf, unsigned long* out,
                 unsigned long* bit_offset, unsigned long nbits);

/* --- Section decoders ---------------------------------------------------- */

void init_dec_struct(PDS_INPUT* pds, grid_desc_sec* gds, BMS_INPUT* bms,
                     BDS_HEAD_INPUT* bds_head);

/*
 * Decodes the message that starts at curr_ptr.  The buffer must hold the
 * octets its Section 0 claims (grib_seek guarantees this); nothing beyond
 * them is read.  On success *ppgrib_data receives a malloc'ed array of
 * bds_head->ulGrid_size values owned by the caller.
 *
 * Statuses: 0 success; 2 no "7777" where Section 0 says the message ends
 * (or a total length too short for any message); 3 not edition 1; 5 a
 * section that does not lie inside the message or is shorter than its
 * fixed part, or a constant field on a quasi-regular grid.  Otherwise the
 * failing section decoder's status passes through: gribgetgds 1 unknown
 * data type, 2 GDS shorter than 32 octets; gribgetbms 1 corrupt bitmap;
 * gribgetbds 1 a packing other than simple, 2 the point count differs from
 * the bitmap's set bits, 3 from the grid size, 4 no memory for the values
 * (or a constant field of more than GRIB_MAX_POINTS), 5 more than 32 bits
 * per value, 6 a BDS shorter than its 11-octet header.
 */
int grib_dec(const octets* curr_ptr, PDS_INPUT* pds, grid_desc_sec* gds,
             BDS_HEAD_INPUT* bds_head, BMS_INPUT* bms, float** ppgrib_data,
             char* errmsg);

/* The section decoders read only within the length their section states;
   the caller makes sure that length lies inside its buffer. */
int gribgetpds(const octets* pds_start, PDS_INPUT* pds);
int gribgetgds(const octets* gds_start, grid_desc_sec* gds, char* errmsg);
int gribgetbms(const octets* bms_start, BMS_INPUT* bms, int gds_present,
               unsigned long grid_size, char* errmsg);
int gribgetbds(const octets* bds_start, short dec_scale, BMS_INPUT* bms,
               float** ppgrib_data, BDS_HEAD_INPUT* bds_head, char* errmsg);
int apply_bitmap(BMS_INPUT* bms, float** ppgrib_data, float fill_value,
                 BDS_HEAD_INPUT* bds_head, char* errmsg);

/* --- One message whole ---------------------------------------------------- */

/* A decoded message: its four records and its values on the full grid. */
typedef struct grib_message {
    PDS_INPUT pds;
    grid_desc_sec gds;
    BMS_INPUT bms;
    BDS_HEAD_INPUT bds;
    float* values; /* bds.ulGrid_size values, or null */
} GRIB_MESSAGE;

/*
 * grib_dec on the message at msg, then, when it has a BMS, apply_bitmap with
 * fill_value for the missing points.  Returns grib_dec's status, or
 * apply_bitmap's when that failed (the message then has no values).
 * Release the values with grib_release_message.
 */
int grib_decode_message(const octets* msg, float fill_value, GRIB_MESSAGE* out,
                        char* errmsg);
void grib_release_message(GRIB_MESSAGE* message);

#ifdef __cplusplus
}
#endif

#endif
