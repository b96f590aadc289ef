/* Grid Description Section decoder. */
#include "grib.h"

#include <stdio.h>

/* Reads stay inside the length the section states; a field beyond it
   reads as zero. */
struct gds_reader {
    const octets* start;
    unsigned long limit_bits;
    unsigned long bit;
};

static unsigned long take(struct gds_reader* r, unsigned long nbits, const char* name)
{
    unsigned long value = 0;
    if (r->bit + nbits > r->limit_bits) {
        r->bit += nbits;
        grib_trace("%s beyond the section, taken as 0\n", name);
        return 0;
    }
    gbyte(r->start, &value, &r->bit, nbits);
    grib_trace("%s\n", name);
    return value;
}

static int32_t take_signed24(struct gds_reader* r, const char* name)
{
    unsigned long raw = take(r, 24, name);
    int32_t magnitude = (int32_t)(raw & 0x7FFFFF);
    return (raw & 0x800000) ? -magnitude : magnitude;
}

/* Octet n (counted from 1) of the section is where the next field starts. */
static void go_to_octet(struct gds_reader* r, unsigned n)
{
    r->bit = (unsigned long)(n - 1) * 8;
}

static void decode_latlon(struct gds_reader* r, unsigned length, GDS_LATLON_INPUT* g)
{
    g->usNi = (uint32_t)take(r, 16, "usNi");
    g->usNj = (uint32_t)take(r, 16, "usNj");
    g->lLat1 = take_signed24(r, "lLat1");
    g->lLon1 = take_signed24(r, "lLon1");
    g->usRes_flag = (uint16_t)take(r, 8, "usRes_flag");
    g->lLat2 = take_signed24(r, "lLat2");
    g->lLon2 = take_signed24(r, "lLon2");
    g->iDi = (int32_t)take(r, 16, "iDi");
    g->iDj = (int32_t)take(r, 16, "iDj");
    g->usScan_mode = (uint16_t)take(r, 8, "usScan_mode");
    g->usZero = (uint16_t)take(r, 32, "usZero");
    if (length != 32)
        g->lLat_southpole = take_signed24(r, "lLat_southpole");
    if (length > 35)
        g->lLon_southpole = take_signed24(r, "lLon_southpole");
    if (length > 38)
        g->lRotate = (int32_t)take(r, 32, "lRotate");
    if (length > 42)
        g->lPole_lat = take_signed24(r, "lPole_lat");
    if (length > 45)
        g->lPole_lon = take_signed24(r, "lPole_lon");
    if (length > 48)
        g->lStretch = (int32_t)take(r, 32, "lStretch");
}

static void decode_lambert(struct gds_reader* r, unsigned length, GDS_LAM_INPUT* g)
{
    g->iNx = (int32_t)take(r, 16, "iNx");
    g->iNy = (int32_t)take(r, 16, "iNy");
    g->lLat1 = take_signed24(r, "lLat1");
    g->lLon1 = take_signed24(r, "lLon1");
    g->usRes_flag = (uint16_t)take(r, 8, "usRes_flag");
    g->lLon_orient = take_signed24(r, "lLon_orient");
    g->ulDx = (uint32_t)take(r, 24, "ulDx");
    g->ulDy = (uint32_t)take(r, 24, "ulDy");
    g->usProj_flag = (uint16_t)take(r, 8, "usProj_flag");
    g->usScan_mode = (uint16_t)take(r, 8, "usScan_mode");
    g->lLat_cut1 = (int32_t)take(r, 24, "lLat_cut1");
    g->lLat_cut2 = (int32_t)take(r, 24, "lLat_cut2");
    if (length > 34)
        g->lLat_southpole = take_signed24(r, "lLat_southpole");
    if (length > 37)
        g->lLon_southpole = take_signed24(r, "lLon_southpole");
    if (length > 40)
        g->usZero = (uint16_t)take(r, 16, "usZero");
}

static void decode_polar(struct gds_reader* r, GDS_PS_INPUT* g)
{
    g->usNx = (uint16_t)take(r, 16, "usNx");
    g->usNy = (uint16_t)take(r, 16, "usNy");
    g->lLat1 = take_signed24(r, "lLat1");
    g->lLon1 = take_signed24(r, "lLon1");
    g->usRes_flag = (uint16_t)take(r, 8, "usRes_flag");
    g->lLon_orient = take_signed24(r, "lLon_orient");
    g->ulDx = (uint32_t)take(r, 24, "ulDx");
    g->ulDy = (uint32_t)take(r, 24, "ulDy");
    g->usProj_flag = (uint16_t)take(r, 8, "usProj_flag");
    g->usScan_mode = (uint16_t)take(r, 8, "usScan_mode");
    g->usZero = (uint16_t)take(r, 32, "usZero");
}

static void decode_mercator(struct gds_reader* r, mercator* g)
{
    g->cols = (int32_t)take(r, 16, "cols");
    g->rows = (int32_t)take(r, 16, "rows");
    g->first_lat = take_signed24(r, "first_lat");
    g->first_lon = take_signed24(r, "first_lon");
    g->usRes_flag = (uint16_t)take(r, 8, "usRes_flag");
    g->La2 = take_signed24(r, "La2");
    g->Lo2 = take_signed24(r, "Lo2");
    g->latin = take_signed24(r, "latin");
    go_to_octet(r, 28); /* octet 27 is reserved */
    g->usScan_mode = (uint16_t)take(r, 8, "usScan_mode");
    g->lon_inc = (float)take(r, 24, "lon_inc");
    g->lat_inc = (float)take(r, 24, "lat_inc");
}

int gribgetgds(const octets* gds_start, grid_desc_sec* gds, char* errmsg)
{
    static const char func[] = "gribgetgds";
    struct gds_reader r;
    unsigned long length;
    int status = 0;

    grib_trace("Entering %s\n", func);
    r.start = gds_start;
    r.bit = 0;
    r.limit_bits = 24;
    length = take(&r, 24, "uslength");
    r.limit_bits = (length > 3 ? length : 3) * 8;
    gds->head.uslength = (uint16_t)length;
    if (length < 32) {
        snprintf(errmsg, GRIB_ERRMSG_LEN,
                 "GDS length too short (%ld).  Will attempt to load struct grid_desc_sec\n",
                 (long)length);
        status = 2;
    }
    gds->head.usNum_v = (uint16_t)take(&r, 8, "usNum_v");
    gds->head.usPl_Pv = (uint16_t)take(&r, 8, "usPl_Pv");
    gds->head.usData_type = (uint16_t)take(&r, 8, "usData_type");

    switch (gds->head.usData_type) {
    case 0: case 4: case 10: case 14: case 20: case 24: case 30: case 34:
        gds->llg.usData_type = gds->head.usData_type;
        decode_latlon(&r, (unsigned)length, &gds->llg);
        break;
    case 3: case 8: case 13:
        gds->lam.usData_type = gds->head.usData_type;
        decode_lambert(&r, (unsigned)length, &gds->lam);
        break;
    case 5:
        gds->pol.usData_type = gds->head.usData_type;
        decode_polar(&r, &gds->pol);
        break;
    case 1:
        gds->merc.usData_type = gds->head.usData_type;
        decode_mercator(&r, &gds->merc);
        break;
    default:
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s:  unknown datatype=%d\n", func,
                 (int)gds->head.usData_type);
        status = 1;
        break;
    }
    grib_trace("Exiting %s w/stat=%d\n", func, status);
    return status;
}
