/* The locator: finds the next complete GRIB edition 1 message in a file and
   loads it whole into a GRIB_HDR with its section pointers. */
#include "grib.h"

#include <stdio.h>
#include <string.h>

static const char func[] = "grib_seek";

enum candidate_result { CANDIDATE_VALID, CANDIDATE_INVALID, CANDIDATE_ERROR };

static unsigned long get24(const octets* p)
{
    return ((unsigned long)p[0] << 16) | ((unsigned long)p[1] << 8) | p[2];
}

static void clear_message(GRIB_HDR* gh)
{
    gh->msg_length = 0;
    gh->ids_ptr = gh->pds_ptr = gh->gds_ptr = NULL;
    gh->bms_ptr = gh->bds_ptr = gh->eds_ptr = NULL;
    memset(gh->entire_msg, 0, (size_t)gh->abs_size);
}

static void zero_section_lengths(GRIB_HDR* gh)
{
    gh->ids_len = gh->pds_len = gh->gds_len = 0;
    gh->bms_len = gh->bds_len = gh->eds_len = 0;
}

static long file_size_of(FILE* fp)
{
    long size;
    if (fseek(fp, 0L, SEEK_END) != 0)
        return -1;
    size = ftell(fp);
    return size;
}

/* The 24-bit length stated at `at`, or 0 when its three octets were not read. */
static long stated_length(const GRIB_HDR* gh, long at, long end)
{
    return at + 3 <= end ? (long)get24(gh->entire_msg + at) : 0L;
}

/* Moves *cursor past the section that starts there.  Returns its length,
   or -1 when the section does not lie inside the `end` octets read. */
static long take_section(const GRIB_HDR* gh, long* cursor, long end)
{
    long length;
    if (*cursor + 3 > end)
        return -1;
    length = stated_length(gh, *cursor, end);
    if (*cursor + length > end)
        return -1;
    *cursor += length;
    return length;
}

static void corrupt(const char* fmt, const char* filename, long length,
                    const GRIB_HDR* gh, long start, char* errmsg)
{
    snprintf(errmsg, GRIB_ERRMSG_LEN, fmt, func, filename, length,
             (long)gh->msg_length, start);
}

/*
 * Checks the loaded candidate, `got` octets of which were read, and sets the
 * section pointers.  Returns 1 when valid; otherwise 0, with a text in
 * errmsg for a corrupt section.
 */
static int validate(GRIB_HDR* gh, long total, long got, const char* filename,
                    long start, int read_index, char* errmsg)
{
    octets* msg = gh->entire_msg;
    long cursor = 8, at;

    if (memcmp(msg + got - 4, "7777", 4) != 0) {
        if (read_index)
            snprintf(errmsg, GRIB_ERRMSG_LEN,
                     "%s %s:  no 7777 found for msg at %ld, check indexfile\n",
                     func, filename, start);
        return 0;
    }
    gh->msg_length = (int32_t)total;
    gh->ids_ptr = msg;
    gh->ids_len = 8;
    gh->pds_ptr = msg + 8;
    gh->pds_len = (int32_t)take_section(gh, &cursor, got);
    /* The GDS/BMS flag (octet 8) must belong to the PDS itself. */
    if (gh->pds_len < 8) {
        corrupt("%s %s:  corrupt PDSlen= %ld, Totlen=%ld, drop msg @%ld;\n",
                filename, stated_length(gh, 8, got), gh, start, errmsg);
        gh->pds_len = 0;
        return 0;
    }
    if (msg[8 + 7] & 128) {
        at = cursor;
        gh->gds_ptr = msg + at;
        gh->gds_len = (int32_t)take_section(gh, &cursor, got);
        if (gh->gds_len < 0) {
            corrupt("%s %s: corrupt GDSlen= %ld, Totlen=%ld, drop msg @%ld\n",
                    filename, stated_length(gh, at, got), gh, start, errmsg);
            gh->gds_len = 0;
            return 0;
        }
    }
    if (msg[8 + 7] & 64) {
        at = cursor;
        gh->bms_ptr = msg + at;
        gh->bms_len = (int32_t)take_section(gh, &cursor, got);
        if (gh->bms_len < 0) {
            corrupt("%s %s: corrupt BMSlen= %ld, Totlen=%ld, drop msg @%ld\n",
                    filename, stated_length(gh, at, got), gh, start, errmsg);
            gh->bms_len = 0;
            return 0;
        }
    }
    at = cursor;
    gh->bds_ptr = msg + at;
    gh->bds_len = (int32_t)take_section(gh, &cursor, got);
    if (gh->bds_len < 0) {
        corrupt("%s %s:  corrupt BDSlen= %ld, Totlen=%ld, drop msg @%ld\n",
                filename, stated_length(gh, at, got), gh, start, errmsg);
        gh->bds_len = 0;
        return 0;
    }
    gh->eds_ptr = msg + cursor;
    gh->eds_len = 4;
    return 1;
}

/* State of one call, shared by the steps below. */
struct seek_call {
    const char* filename;
    FILE* fp;
    long file_size; /* -1 when unknown */
    long start;     /* the value at `offset` on entry */
    int read_index;
    GRIB_HDR* gh;
    char* errmsg;
};

static int finish(struct seek_call* call, int status)
{
    fclose(call->fp);
    grib_trace("Exiting %s w/stat=%d\n", func, status);
    return status;
}

static void index_not_found(struct seek_call* call)
{
    snprintf(call->errmsg, GRIB_ERRMSG_LEN,
             "%s %s:  No Grib Msg found at IndexFile's offset = %ld;  Check Index File\n",
             func, call->filename, call->start);
}

/*
 * Loads the candidate at absolute position `cand` whose Section 0 states
 * `total` octets, and validates it.  Returns CANDIDATE_ERROR with *status
 * set when the call must end.
 */
static enum candidate_result load_candidate(struct seek_call* call, long cand,
                                            long total, int* status)
{
    GRIB_HDR* gh = call->gh;
    size_t got;

    /* Too short to hold Section 0 and the end marker. */
    if (total < 12) {
        if (call->read_index)
            snprintf(call->errmsg, GRIB_ERRMSG_LEN,
                     "%s %s:  total length %ld too short for a msg at %ld\n",
                     func, call->filename, total, cand);
        return CANDIDATE_INVALID;
    }
    /* In a forward scan a candidate that runs past the end of the file is
       just not a message: the scan goes on, and no buffer is grown for it. */
    if (!call->read_index && call->file_size >= 0 && cand + total > call->file_size)
        return CANDIDATE_INVALID;
    if (fseek(call->fp, cand, SEEK_SET) != 0) {
        snprintf(call->errmsg, GRIB_ERRMSG_LEN, "%s %s: FSEEK error to pos+bytenum= %ld\n",
                 func, call->filename, cand);
        *status = 1;
        return CANDIDATE_ERROR;
    }
    zero_section_lengths(gh);
    if (total > gh->abs_size && Expand_gribhdr(gh, total, call->errmsg) != 0) {
        upd_child_errmsg(func, call->errmsg);
        *status = 1;
        return CANDIDATE_ERROR;
    }
    got = fread(gh->entire_msg, 1, (size_t)total, call->fp);
    if ((long)got < total) {
        if (!call->read_index && !ferror(call->fp))
            return CANDIDATE_INVALID;
        snprintf(call->errmsg, GRIB_ERRMSG_LEN,
                 "%s %s:  Only read %ld out of %ld bytes for EntireMsg (offs=%ld)\n",
                 func, call->filename, (long)got, total, call->start);
        *status = 1;
        return CANDIDATE_ERROR;
    }
    return validate(gh, total, (long)got, call->filename, call->start,
                    call->read_index, call->errmsg)
               ? CANDIDATE_VALID
               : CANDIDATE_INVALID;
}

int grib_seek(const char* filename, long* offset, int read_index, GRIB_HDR* gh,
              char* errmsg)
{
    struct seek_call call;
    octets window[GRIB_SEEK_WINDOW];
    long pos;

    grib_trace("Entering %s, offset %ld, %s mode\n", func, *offset,
               read_index ? "index" : "forward");
    if (!gh || !gh->entire_msg) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s:  expecting non-NULL Grib Hdr;\n", func);
        return 3;
    }
    clear_message(gh);
    call.filename = filename;
    call.start = *offset;
    call.read_index = read_index;
    call.gh = gh;
    call.errmsg = errmsg;
    call.fp = fopen(filename, "rb");
    if (!call.fp) {
        snprintf(errmsg, GRIB_ERRMSG_LEN, "%s: Cannot open input file '%s'\n", func,
                 filename);
        return 4;
    }
    call.file_size = file_size_of(call.fp);

    for (pos = *offset;;) {
        size_t n;
        long limit, i;
        int full;

        if (pos < 0 || fseek(call.fp, pos, SEEK_SET) != 0) {
            snprintf(errmsg, GRIB_ERRMSG_LEN, "%s %s: Got fseek error to pos= %ld\n",
                     func, filename, pos);
            return finish(&call, 1);
        }
        n = fread(window, 1, sizeof window, call.fp);
        if (n < 5)
            return finish(&call, 2);
        if (n < 41) {
            snprintf(errmsg, GRIB_ERRMSG_LEN, "%s %s: skip last %d bytes, too few for a Msg\n",
                     func, filename, (int)n);
            return finish(&call, 2);
        }
        /* A full window is followed by more data: a candidate whose Section 0
           is cut by the window's end is left for the next window, which
           overlaps this one by 7 octets. */
        full = n == sizeof window;
        limit = full ? (long)n - 7 : (long)n - 4;
        for (i = 0; i < limit; ++i) {
            const octets* hit = memchr(window + i, 'G', (size_t)(limit - i));
            long cand, total;
            int status = 0;
            enum candidate_result result;

            if (!hit)
                break;
            i = hit - window;
            cand = pos + i;
            if (memcmp(hit, "GRIB", 4) != 0 || (read_index && cand != *offset)) {
                if (read_index) {
                    index_not_found(&call);
                    return finish(&call, 0);
                }
                window[i] = '-';
                continue;
            }
            grib_trace("Found string 'GRIB' at %ld\n", cand);
            if (i + 8 > (long)n) {
                result = CANDIDATE_INVALID; /* Section 0 cut by the end of file */
            } else if (window[i + 7] != 1) {
                window[i] = '-'; /* another edition: skipped silently */
                continue;
            } else {
                total = (long)get24(window + i + 4);
                result = load_candidate(&call, cand, total, &status);
            }
            if (result == CANDIDATE_ERROR) {
                clear_message(gh);
                return finish(&call, status);
            }
            if (result == CANDIDATE_VALID) {
                *offset = cand;
                return finish(&call, 0);
            }
            clear_message(gh);
            if (read_index) {
                if (errmsg[0] == '\0')
                    index_not_found(&call);
                return finish(&call, 0);
            }
            window[i] = '-';
            errmsg[0] = '\0';
        }
        if (read_index) {
            index_not_found(&call);
            return finish(&call, 0);
        }
        pos += full ? (long)n - 7 : (long)n - 4;
    }
}
