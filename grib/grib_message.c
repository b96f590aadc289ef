/* A message decoded whole: the section decoders and the bitmap expansion in
   the order every reader of values needs them. */
#include "grib.h"

#include <stdlib.h>

int grib_decode_message(const octets* msg, float fill_value, GRIB_MESSAGE* out,
                        char* errmsg)
{
    int status;

    out->values = NULL;
    init_dec_struct(&out->pds, &out->gds, &out->bms, &out->bds);
    status = grib_dec(msg, &out->pds, &out->gds, &out->bds, &out->bms, &out->values, errmsg);
    if (status != 0)
        return status;
    if (out->pds.usGds_bms_id & 64) {
        status = apply_bitmap(&out->bms, &out->values, fill_value, &out->bds, errmsg);
        if (status != 0)
            grib_release_message(out);
    }
    return status;
}

void grib_release_message(GRIB_MESSAGE* message)
{
    free(message->values);
    message->values = NULL;
}
