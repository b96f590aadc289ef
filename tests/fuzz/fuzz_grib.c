/*
 * libFuzzer target over the whole decoding path on arbitrary bytes:
 * grib_dec and apply_bitmap on the input taken as one message, then a
 * forward grib_seek scan of the input taken as a file, decoding each
 * message found and reloading it in index mode.  Each input is kept cheap:
 * the scan stops after MAX_CANDIDATES candidates, and constant fields on
 * grids of more than MAX_CONSTANT_POINTS are not decoded.
 */
#define _GNU_SOURCE
#include "grib.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

/*
 * The most points a constant field may have here.  Its values are sized by
 * the grid alone, so a damaged grid description in a message of a hundred
 * octets can claim up to GRIB_MAX_POINTS: half a gigabyte of values to
 * allocate and fill, seconds per input under the sanitizers, for a path
 * that small grids cover as well.  Packed values are bounded by the
 * input's own size and are always decoded.
 */
#define MAX_CONSTANT_POINTS (1UL << 16)

static unsigned long get24(const octets* p)
{
    return ((unsigned long)p[0] << 16) | ((unsigned long)p[1] << 8) | p[2];
}

/* Where the section after the one at `at` starts, or 0 when that one does
   not lie inside the `total` octets of the message. */
static unsigned long after_section(const octets* msg, unsigned long at, unsigned long total)
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
static unsigned long regular_grid_points(const octets* gds)
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
static int is_oversized_constant_field(const octets* msg, unsigned long total)
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

/* msg holds the octets its Section 0 states. */
static void decode_message(const octets* msg)
{
    GRIB_MESSAGE m;
    char err[GRIB_ERRMSG_LEN] = "";

    if (is_oversized_constant_field(msg, get24(msg + 4)))
        return;
    if (grib_decode_message(msg, -9999.0f, &m, err) == 0 && m.values && m.bds.ulGrid_size > 0) {
        /* Touch both ends so that a short array shows up. */
        volatile float first = m.values[0], last = m.values[m.bds.ulGrid_size - 1];
        (void)first;
        (void)last;
    }
    grib_release_message(&m);
}

/* The input as one message, in a buffer of exactly the size its Section 0
   states (or, when it states more than there is, of the input's size with
   the length patched to match). */
static void decode_as_message(const uint8_t* data, size_t size)
{
    unsigned long stated;
    size_t length;
    octets* msg;

    if (size < 8 || size > 0xFFFFFF)
        return;
    stated = ((unsigned long)data[4] << 16) | ((unsigned long)data[5] << 8) | data[6];
    length = (stated >= 8 && stated <= size) ? stated : size;
    msg = (octets*)malloc(length);
    if (!msg)
        return;
    memcpy(msg, data, length);
    msg[4] = (octets)(length >> 16);
    msg[5] = (octets)(length >> 8);
    msg[6] = (octets)length;
    decode_message(msg);
    free(msg);
}

/*
 * The most candidates, messages or corrupt ones, one scan takes.  Each
 * takes one or two grib_seek calls, which open and read the file afresh;
 * the messages after the first few take the same paths again.
 */
#define MAX_CANDIDATES 8

static void scan_as_file(const uint8_t* data, size_t size)
{
    char path[64];
    char err[GRIB_ERRMSG_LEN] = "";
    GRIB_HDR* gh = NULL;
    long offset = 0;
    int fd = memfd_create("grib", 0), candidates = 0;

    if (fd < 0)
        return;
    if (write(fd, data, size) != (ssize_t)size || init_gribhdr(&gh, err) != 0) {
        close(fd);
        return;
    }
    snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    while (candidates++ < MAX_CANDIDATES) {
        long at;
        err[0] = '\0';
        if (grib_seek(path, &offset, 0, gh, err) != 0)
            break;
        if (gh->msg_length <= 0 || err[0] != '\0') {
            ++offset;
            continue;
        }
        decode_message(gh->entire_msg);
        at = offset;
        err[0] = '\0';
        grib_seek(path, &at, 1, gh, err);
        offset += gh->msg_length > 0 ? gh->msg_length : 1;
    }
    free_gribhdr(&gh);
    close(fd);
}

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    decode_as_message(data, size);
    scan_as_file(data, size);
    return 0;
}
