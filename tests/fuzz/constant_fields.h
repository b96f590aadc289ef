/*
 * Shared by the fuzz targets: which edition 1 messages are constant fields
 * on grids too large to be worth decoding under the sanitizers.
 */
#ifndef SKYVANE_FUZZ_CONSTANT_FIELDS_H
#define SKYVANE_FUZZ_CONSTANT_FIELDS_H

#include "grib.h"

#include <stdint.h>

/*
 * The most points a constant field may have here.  Its values are sized by
 * the grid alone, so a damaged grid description in a message of a hundred
 * octets can claim up to GRIB_MAX_POINTS: half a gigabyte of values to
 * allocate and fill, seconds per input under the sanitizers, for a path
 * that small grids cover as well.  Packed values are bounded by the
 * input's own size and are always decoded.
 */
#define MAX_CONSTANT_POINTS (1UL << 16)

static inline unsigned long get24(const octets* p)
{
    return ((unsigned long)p[0] << 16) | ((unsigned long)p[1] << 8) | p[2];
}

/* Where the section after the one at `at` starts, or 0 when that one does
   not lie inside the `total` octets of the message. */
static inline unsigned long after_section(const octets* msg, unsigned long at, unsigned long total)
{
    unsigned long length;

    if (at + 3 > total)
        return 0;
    length = get24(msg + at);
    return length > 0 && at + length <= total ? at + length : 0;
}

/* The points of the regular grid the GDS at gds describes; 0 when it
   cannot be read or is quasi-regular (the decoder refuses constant fields
   on those before allocating). */
static inline unsigned long regular_grid_points(const octets* gds)
{
    PDS_INPUT pds;
    grid_desc_sec grid;
    BMS_INPUT bms;
    BDS_HEAD_INPUT bds;
    char err[GRIB_ERRMSG_LEN] = "";
    unsigned long points = 0;

    init_dec_struct(&pds, &grid, &bms, &bds);
    if (gribgetgds(gds, &grid, err) != 0 || grid.llg.usNi == 0xFFFF || grid.llg.usNj == 0xFFFF)
        return 0;
    /* Only the block of the grid's own type is filled; the others stay 0. */
    points = (unsigned long)grid.llg.usNi * grid.llg.usNj;
    if ((unsigned long)(uint32_t)grid.lam.iNx * (uint32_t)grid.lam.iNy > points)
        points = (unsigned long)(uint32_t)grid.lam.iNx * (uint32_t)grid.lam.iNy;
    if ((unsigned long)grid.pol.usNx * grid.pol.usNy > points)
        points = (unsigned long)grid.pol.usNx * grid.pol.usNy;
    if ((unsigned long)(uint32_t)grid.merc.cols * (uint32_t)grid.merc.rows > points)
        points = (unsigned long)(uint32_t)grid.merc.cols * (uint32_t)grid.merc.rows;
    return points;
}

/* Whether the message of `total` octets at msg is a constant field (simple
   packing at 0 bits per value) on a grid of more than MAX_CONSTANT_POINTS. */
static inline int is_oversized_constant_field(const octets* msg, unsigned long total)
{
    unsigned long gds, bds;

    if (total < 16 || !(msg[15] & 128) || !(gds = after_section(msg, 8, total)))
        return 0;
    bds = after_section(msg, gds, total);
    if (bds && (msg[15] & 64))
        bds = after_section(msg, bds, total);
    if (!bds || bds + 11 > total || (msg[bds + 3] & 0xF0) != 0 || msg[bds + 10] != 0)
        return 0;
    return regular_grid_points(msg + gds) > MAX_CONSTANT_POINTS;
}

#endif
