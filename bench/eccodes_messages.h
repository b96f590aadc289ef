// The reference side of the benchmarks: every GRIB message ecCodes finds
// in a file, one handle at a time.
#pragma once

#include <eccodes.h>

#include <cstdio>

namespace bench {

// Calls each(handle) for every edition 1 message in fp, in file order (our
// library reads edition 1 only, so a mixed file is compared on that);
// false, with ecCodes' message printed, when it reports an error.
template <typename Each>
bool forEachGrib1Message(FILE* fp, Each each)
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
        if (codes_get_long(h, "edition", &edition) == 0 && edition == 1)
            each(h);
        codes_handle_delete(h);
    }
}

}  // namespace bench
