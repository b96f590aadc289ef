/* The message decoder: drives the section decoders over one message held
   whole in memory. */
#include "grib.h"

#include <stdio.h>
#include <string.h>

static const char func[] = "grib_dec";

/* The status grib_dec gives itself for a message whose sections do not fit
   together, or whose grid it cannot hold; the section decoders' statuses
   pass through unchanged. */
#define GRIB_DEC_REFUSED 5

#define PDS_MIN_OCTETS 28
#define BMS_MIN_OCTETS 6

static unsigned long get24(const octets* p)
{
    return ((unsigned long)p[0] << 16) | ((unsigned long)p[1] << 8) | p[2];
}

void init_dec_struct(PDS_INPUT* pds, grid_desc_sec* gds, BMS_INPUT* bms,
                     BDS_HEAD_INPUT* bds_head)
{
    memset(pds, 0, sizeof *pds);
    memset(gds, 0, sizeof *gds);
    memset(bms, 0, sizeof *bms);
    memset(bds_head, 0, sizeof *bds_head);
    gds->head.usData_type = 255;
}

/*
 * Checks that the section starting at octet offset `at` of a message of
 * `total` octets lies wholly inside it and is at least `min_octets` long.
 * Returns 1 with its length in *length, or 0 with a text in errmsg.
 */
static int locate_section(const octets* msg, unsigned long at, unsigned long total,
                          unsigned long min_octets, const char* name, unsigned long* length,
                          char* errmsg)
{
    if (at + 3 > total) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s:  %s at octet %lu lies past the end of the message\n",
                 func, name, at + 1);
        return 0;
    }
    *length = get24(msg + at);
    if (at + *length > total) {
        snprintf(errmsg, GRIB_ERRMSG_LEN,
                 "%s:  %s of %lu octets at octet %lu runs past the end of the message (%lu octets)\n",
                 func, name, *length, at + 1, total);
        return 0;
    }
    if (*length < min_octets) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s:  %s of %lu octets is shorter than %lu\n", func,
                 name, *length, min_octets);
        return 0;
    }
    return 1;
}

static int is_latlon_family(unsigned data_type)
{
    switch (data_type) {
    case 0: case 4: case 10: case 14: case 20: case 24: case 30: case 34:
        return 1;
    default:
        return 0;
    }
}

static unsigned long grid_size_of(const grid_desc_sec* gds)
{
    unsigned type = gds->head.usData_type;
    if (is_latlon_family(type))
        return (unsigned long)gds->llg.usNi * gds->llg.usNj;
    if (type == 1)
        return (unsigned long)(uint32_t)gds->merc.cols * (uint32_t)gds->merc.rows;
    if (type == 3 || type == 8 || type == 13)
        return (unsigned long)(uint32_t)gds->lam.iNx * (uint32_t)gds->lam.iNy;
    if (type == 5)
        return (unsigned long)gds->pol.usNx * gds->pol.usNy;
    return 0;
}

/* A quasi-regular grid marks its varying row or column length as missing
   (all ones); Ni x Nj is then not its number of points. */
static int is_quasi_regular(const grid_desc_sec* gds)
{
    return is_latlon_family(gds->head.usData_type) &&
           (gds->llg.usNi == 0xFFFF || gds->llg.usNj == 0xFFFF);
}

static int fail_from(int status, char* errmsg)
{
    upd_child_errmsg(func, errmsg);
    return status;
}

int grib_dec(const octets* curr_ptr, PDS_INPUT* pds, grid_desc_sec* gds,
             BDS_HEAD_INPUT* bds_head, BMS_INPUT* bms, float** ppgrib_data, char* errmsg)
{
    unsigned long total, cursor, length;
    int status, gds_present = 0;
    float* values = NULL;

    grib_trace("Entering %s\n", func);
    if (memcmp(curr_ptr, "GRIB", 4) != 0)
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s:  no 'GRIB' at beg. of this msg\n", func);
    total = get24(curr_ptr + 4);
    if (total < 12) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s:  total length %lu too short for a message\n",
                 func, total);
        return 2;
    }
    if (memcmp(curr_ptr + total - 4, "7777", 4) != 0) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s:  no '7777' at end of this msg\n", func);
        return 2;
    }
    pds->usEd_num = curr_ptr[7];
    if (pds->usEd_num != 1) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s:  not Grib Edition 1 \n", func);
        return 3;
    }

    cursor = 8;
    if (!locate_section(curr_ptr, cursor, total, PDS_MIN_OCTETS, "PDS", &length, errmsg))
        return GRIB_DEC_REFUSED;
    gribgetpds(curr_ptr + cursor, pds);
    cursor += length;

    if (pds->usGds_bms_id & 128) {
        gds_present = 1;
        if (!locate_section(curr_ptr, cursor, total, 0, "GDS", &length, errmsg))
            return GRIB_DEC_REFUSED;
        status = gribgetgds(curr_ptr + cursor, gds, errmsg);
        if (status != 0)
            return fail_from(status, errmsg);
        cursor += length;
        bds_head->ulGrid_size = (uint32_t)grid_size_of(gds);
    }

    if (pds->usGds_bms_id & 64) {
        if (!locate_section(curr_ptr, cursor, total, BMS_MIN_OCTETS, "BMS", &length, errmsg))
            return GRIB_DEC_REFUSED;
        status = gribgetbms(curr_ptr + cursor, bms, gds_present, bds_head->ulGrid_size, errmsg);
        if (status != 0)
            return fail_from(status, errmsg);
        cursor += length;
    }

    if (!locate_section(curr_ptr, cursor, total, 0, "BDS", &length, errmsg))
        return GRIB_DEC_REFUSED;
    /* Simple packing (flag bits clear) at 0 bits per value: the grid alone
       would size the array.  Other packings get the BDS decoder's text. */
    if (gds_present && is_quasi_regular(gds) && length > 10 &&
        (curr_ptr[cursor + 3] & 0xF0) == 0 && curr_ptr[cursor + 10] == 0) {
        snprintf(errmsg, GRIB_ERRMSG_LEN,
                 "%s:  constant field on a quasi-regular grid (Ni=%lu Nj=%lu) not supported\n",
                 func, (unsigned long)gds->llg.usNi, (unsigned long)gds->llg.usNj);
        return GRIB_DEC_REFUSED;
    }
    status = gribgetbds(curr_ptr + cursor, pds->sDec_sc_fctr, bms, &values, bds_head, errmsg);
    if (status != 0)
        return fail_from(status, errmsg);
    *ppgrib_data = values;
    grib_trace("Exiting %s w/stat=0\n", func);
    return 0;
}
