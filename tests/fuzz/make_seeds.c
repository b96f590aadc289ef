/* Writes a few small messages into a directory as seeds for the fuzzer:
   the shapes real files rarely show (bitmaps, constant fields, odd widths,
   long PDS, rotated grids). */
#include "grib_writer.h"

#include <stdio.h>
#include <stdlib.h>

static int write_seed(const char* dir, const char* name, const GRIB_WRITE_PARAMS* params,
                      unsigned long npoints)
{
    char path[4096], err[GRIB_ERRMSG_LEN] = "";
    octets* msg = NULL;
    unsigned long length = 0, i;
    float* values = (float*)malloc(npoints * sizeof(float));
    FILE* fp;

    for (i = 0; i < npoints; ++i)
        values[i] = (float)((i * 37) % 101) * 0.5f - 10.0f;
    if (grib_encode(params, values, npoints, &msg, &length, NULL, err) != 0) {
        fprintf(stderr, "%s: %s", name, err);
        free(values);
        return 1;
    }
    snprintf(path, sizeof path, "%s/%s.grb", dir, name);
    fp = fopen(path, "wb");
    if (!fp || fwrite(msg, 1, length, fp) != length) {
        fprintf(stderr, "cannot write %s\n", path);
        if (fp)
            fclose(fp);
        free(msg);
        free(values);
        return 1;
    }
    fclose(fp);
    free(msg);
    free(values);
    return 0;
}

int main(int argc, char** argv)
{
    GRIB_WRITE_PARAMS params;
    static unsigned char present[64];
    int failures = 0, i;

    if (argc != 2) {
        fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    for (i = 0; i < 64; ++i)
        present[i] = (unsigned char)(i % 3 != 1);

    init_grib_write_params(&params);
    params.ni = 8, params.nj = 8, params.lon2 = 14000, params.lat2 = 76000;
    failures += write_seed(argv[1], "plain16", &params, 64);
    params.bits_per_value = 11;
    params.bitmap = present;
    failures += write_seed(argv[1], "bitmap11", &params, 64);
    params.bitmap = NULL;
    params.bits_per_value = 0;
    failures += write_seed(argv[1], "constant", &params, 64);
    params.bits_per_value = 32;
    params.pds_length = 46;
    params.ext_flag = 99;
    params.time_range = 10;
    params.p1 = 300;
    failures += write_seed(argv[1], "wide_ext", &params, 64);
    params.pds_length = 28;
    params.bits_per_value = 5;
    params.data_type = 10;
    params.gds_length = 42;
    params.lat_southpole = -30000;
    failures += write_seed(argv[1], "rotated5", &params, 64);
    params.has_gds = 0;
    params.bitmap = present;
    failures += write_seed(argv[1], "nogrid_bitmap", &params, 64);
    return failures ? 1 : 0;
}
