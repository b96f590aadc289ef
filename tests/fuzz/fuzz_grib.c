/*
 * libFuzzer target over the whole decoding path on arbitrary bytes:
 * grib_dec and apply_bitmap on the input taken as one message, then a
 * forward grib_seek scan of the input taken as a file, decoding each
 * message found and reloading it in index mode.  Each input is kept cheap:
 * the scan stops after MAX_CANDIDATES candidates, and constant fields on
 * grids of more than MAX_CONSTANT_POINTS are not decoded.
 */
#define _GNU_SOURCE
#include "constant_fields.h"
#include "grib.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

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
