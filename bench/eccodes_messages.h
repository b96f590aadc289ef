// The reference side of the benchmarks: every GRIB message ecCodes finds
// in a file, one handle at a time.
#pragma once

#include <eccodes.h>

#include <cstdio>

namespace bench {

// Calls each(handle) for every message of the given edition in fp, in
// file order (a mixed file is compared on the edition measured); false,
// with ecCodes' message printed, when it reports an error.
template <typename Each>
bool forEachGribMessage(FILE* fp, long wantedEdition, Each each)
{
    for (;;) {
        int err = 0;
        codes_handle* h = codes_handle_new_from_file(nullptr, fp, PRODUCT_GRIB, &err);
        if (!h) {
            if (err == 0)
                return true;
            std::fprintf(stderr, "eccodes: %s\n", codes_get_error_message(err));
            return false;
        }
        long edition = 0;
        if (codes_get_long(h, "edition", &edition) == 0 && edition == wantedEdition)
            each(h);
        codes_handle_delete(h);
    }
}

template <typename Each>
bool forEachGrib1Message(FILE* fp, Each each)
{
    return forEachGribMessage(fp, 1, each);
}

}  // namespace bench
