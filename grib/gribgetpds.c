/* Product Definition Section decoder. */
#include "grib.h"

/* Level types whose octets 11 and 12 hold the top and bottom of a layer. */
static int is_layer(unsigned level_type)
{
    switch (level_type) {
    case 101: case 104: case 106: case 108: case 110:
    case 112: case 114: case 121: case 128: case 141:
        return 1;
    default:
        return 0;
    }
}

static unsigned long field(const octets* pds, unsigned long* bit, unsigned long nbits,
                           const char* name)
{
    unsigned long value = 0;
    gbyte(pds, &value, bit, nbits);
    grib_trace("%s\n", name);
    return value;
}

static int16_t sign_magnitude16(unsigned long raw)
{
    int16_t magnitude = (int16_t)(raw & 0x7FFF);
    return (raw & 0x8000) ? (int16_t)-magnitude : magnitude;
}

static void decode_extension(const octets* pds, unsigned long* bit, PDS_INPUT* out)
{
    out->usSecond = (uint16_t)field(pds, bit, 8, "usSecond");
    out->usTrack_num = (uint16_t)field(pds, bit, 16, "usTrack_num");
    if (out->usParm_id > 249)
        out->usParm_sub = (uint16_t)field(pds, bit, 8, "usParm_sub");
    else
        *bit += 8;
    out->usSub_tbl = (uint16_t)field(pds, bit, 8, "usSub_tbl");
}

int gribgetpds(const octets* pds_start, PDS_INPUT* out)
{
    unsigned long bit = 0;

    grib_trace("Entering gribgetpds\n");
    out->uslength = (uint16_t)field(pds_start, &bit, 24, "uslength");
    out->usParm_tbl = (uint16_t)field(pds_start, &bit, 8, "usParm_tbl");
    out->usCenter_id = (uint16_t)field(pds_start, &bit, 8, "usCenter_id");
    out->usProc_id = (uint16_t)field(pds_start, &bit, 8, "usProc_id");
    out->usGrid_id = (uint16_t)field(pds_start, &bit, 8, "usGrid_id");
    out->usGds_bms_id = (uint16_t)field(pds_start, &bit, 8, "usGds_bms_id");
    out->usParm_id = (uint16_t)field(pds_start, &bit, 8, "usParm_id");
    out->usLevel_id = (uint16_t)field(pds_start, &bit, 8, "usLevel_id");
    if (is_layer(out->usLevel_id)) {
        out->usHeight1 = (uint16_t)field(pds_start, &bit, 8, "usHeight1");
        out->usHeight2 = (uint16_t)field(pds_start, &bit, 8, "usHeight2");
    } else {
        out->usHeight1 = (uint16_t)field(pds_start, &bit, 16, "usHeight1");
        out->usHeight2 = 0;
    }
    out->usYear = (uint16_t)field(pds_start, &bit, 8, "usYear");
    out->usMonth = (uint16_t)field(pds_start, &bit, 8, "usMonth");
    out->usDay = (uint16_t)field(pds_start, &bit, 8, "usDay");
    out->usHour = (uint16_t)field(pds_start, &bit, 8, "usHour");
    out->usMinute = (uint16_t)field(pds_start, &bit, 8, "usMinute");
    out->usFcst_unit_id = (uint16_t)field(pds_start, &bit, 8, "usFcst_unit_id");
    /* Time range 10 carries P1 in octets 19 and 20; it must be known first. */
    out->usTime_range = pds_start[20];
    if (out->usTime_range == 10) {
        out->usP1 = (uint16_t)field(pds_start, &bit, 16, "usP1");
        out->usP2 = 0;
    } else {
        out->usP1 = (uint16_t)field(pds_start, &bit, 8, "usP1");
        out->usP2 = (uint16_t)field(pds_start, &bit, 8, "usP2");
    }
    out->usTime_range = (uint16_t)field(pds_start, &bit, 8, "usTime_range");
    out->usTime_range_avg = (uint16_t)field(pds_start, &bit, 16, "usTime_range_avg");
    out->usTime_range_mis = (uint16_t)field(pds_start, &bit, 8, "usTime_range_mis");
    out->usCentury = (uint16_t)field(pds_start, &bit, 8, "usCentury");
    out->usCenter_sub = (uint16_t)field(pds_start, &bit, 8, "usCenter_sub");
    out->sDec_sc_fctr = sign_magnitude16(field(pds_start, &bit, 16, "sDec_sc_fctr"));

    out->usExt_flag = 0;
    if (out->uslength > 40) {
        bit = 40 * 8; /* octets 29-40 are reserved */
        out->usExt_flag = (uint16_t)field(pds_start, &bit, 8, "usExt_flag");
        if (out->usExt_flag == 99 && out->uslength == 46)
            decode_extension(pds_start, &bit, out);
    }
    grib_trace("Exiting gribgetpds\n");
    return 0;
}
