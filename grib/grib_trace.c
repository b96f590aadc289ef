/* The library's diagnostic trace: silent unless SKYVANE_GRIB_TRACE is set,
   so that tools keep standard output for their own results. */
#include "grib.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

int grib_trace_enabled(void)
{
    return getenv("SKYVANE_GRIB_TRACE") != NULL;
}

void grib_trace(const char* fmt, ...)
{
    va_list args;
    if (!grib_trace_enabled())
        return;
    va_start(args, fmt);
    vfprintf(stdout, fmt, args);
    va_end(args);
}
