/* The GRIB_HDR record: creation, growth, release, error-text chaining and
   the diagnostic dump. */
#include "grib.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int init_gribhdr(GRIB_HDR** out, char* errmsg)
{
    static const char func[] = "init_gribhdr";
    GRIB_HDR* gh;

    grib_trace("Entering %s\n", func);
    *out = NULL;
    gh = (GRIB_HDR*)calloc(1, sizeof(GRIB_HDR));
    if (!gh) {
        snprintf(errmsg, GRIB_ERRMSG_LEN,
                 "%s:  failed to create storage for GRIB_HDR\n", func);
        return 1;
    }
    gh->entire_msg = (octets*)calloc(1, (size_t)GRIB_INITIAL_MSG_SIZE);
    if (!gh->entire_msg) {
        free(gh);
        snprintf(errmsg, GRIB_ERRMSG_LEN,
                 "%s:  failed to create storage for GRIB_HDR's Msg\n", func);
        return 1;
    }
    gh->abs_size = GRIB_INITIAL_MSG_SIZE;
    *out = gh;
    grib_trace("Exiting %s, abs_size=%ld\n", func, (long)gh->abs_size);
    return 0;
}

void free_gribhdr(GRIB_HDR** gh)
{
    if (!gh || !*gh)
        return;
    free((*gh)->entire_msg);
    free(*gh);
    *gh = NULL;
}

static octets* moved(octets* p, const octets* old_base, octets* new_base)
{
    return p ? new_base + (p - old_base) : NULL;
}

int Expand_gribhdr(GRIB_HDR* gh, long size, char* errmsg)
{
    static const char func[] = "Expand_gribhdr";
    octets* fresh;
    const octets* old;

    if (!gh || !gh->entire_msg) {
        snprintf(errmsg, GRIB_ERRMSG_LEN,
                 "%s: either GRIB_HDR or Entire_msg is Null\n", func);
        return 1;
    }
    if (size <= gh->abs_size)
        return 0;
    fresh = (octets*)calloc(1, (size_t)size);
    if (!fresh) {
        snprintf(errmsg, GRIB_ERRMSG_LEN,
                 "%s: failed to create new array (%d bytes)\n", func, (int)size);
        return 1;
    }
    old = gh->entire_msg;
    if (gh->msg_length > 0)
        memcpy(fresh, old, (size_t)gh->msg_length);
    gh->ids_ptr = moved(gh->ids_ptr, old, fresh);
    gh->pds_ptr = moved(gh->pds_ptr, old, fresh);
    gh->gds_ptr = moved(gh->gds_ptr, old, fresh);
    gh->bms_ptr = moved(gh->bms_ptr, old, fresh);
    gh->bds_ptr = moved(gh->bds_ptr, old, fresh);
    gh->eds_ptr = moved(gh->eds_ptr, old, fresh);
    free(gh->entire_msg);
    gh->entire_msg = fresh;
    gh->abs_size = (int32_t)size;
    grib_trace("%s: grew message buffer to %ld octets\n", func, size);
    return 0;
}

void upd_child_errmsg(const char* caller, char* errmsg)
{
    char old[501];
    if (errmsg[0] == '\0') {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s:  no Error msg avail!\n", caller);
        return;
    }
    snprintf(old, sizeof old, "%s", errmsg);
    snprintf(errmsg, GRIB_ERRMSG_LEN, "%s: %s", caller, old);
}

/* Octets as three-digit decimals, eight to a line. */
static void hdr_print(const char* title, const octets* p, long length)
{
    long i, shown = length < 100 ? length : 100;
    printf("%s: %ld octets\n", title, length);
    for (i = 0; i < shown; ++i)
        printf("%03u%s", (unsigned)p[i], (i % 8 == 7 || i == shown - 1) ? "\n" : " ");
}

static void print_section(const GRIB_HDR* gh, const char* title,
                          const octets* p, long length)
{
    long start, room;
    if (!p) {
        printf("%s: absent\n", title);
        return;
    }
    start = (long)(p - gh->entire_msg);
    room = gh->msg_length - start;
    printf("%s at offset %ld\n", title, start);
    hdr_print(title, p, length < room ? length : (room > 0 ? room : 0));
}

void display_gribhdr(const GRIB_HDR* gh)
{
    long sum;
    if (!gh || !gh->entire_msg || gh->msg_length <= 0) {
        printf("display_gribhdr: no message held\n");
        return;
    }
    printf("message length %ld, buffer %ld\n", (long)gh->msg_length,
           (long)gh->abs_size);
    print_section(gh, "IDS", gh->ids_ptr, gh->ids_len);
    print_section(gh, "PDS", gh->pds_ptr, gh->pds_len);
    print_section(gh, "GDS", gh->gds_ptr, gh->gds_len);
    print_section(gh, "BMS", gh->bms_ptr, gh->bms_len);
    print_section(gh, "BDS", gh->bds_ptr, gh->bds_len);
    print_section(gh, "EDS", gh->eds_ptr, gh->eds_len);
    sum = (long)gh->ids_len + gh->pds_len + gh->gds_len + gh->bms_len +
          gh->bds_len + gh->eds_len;
    if (sum != gh->msg_length)
        printf("warning: message length %ld differs from the sum of the "
               "section lengths %ld\n", (long)gh->msg_length, sum);
}
