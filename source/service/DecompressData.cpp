#include "DecompressData.h"

#include <cstdlib>

#include <zlib.h>

namespace {
constexpr unsigned kGrowth = 262144;
}

bool decompressData(unsigned char** data, unsigned int* size)
{
    if (!data || !*data || !size)
        return false;
    unsigned capacity = *size + kGrowth;
    if (capacity < *size)  // the sum wrapped
        return false;
    auto* out = static_cast<unsigned char*>(std::malloc(capacity));
    if (!out)
        return false;
    z_stream stream{};
    stream.next_in = *data;
    stream.avail_in = *size;
    if (inflateInit(&stream) != Z_OK) {
        std::free(out);
        return false;
    }
    bool done = false;
    while (stream.avail_in > 0 || stream.avail_out == 0) {
        stream.next_out = out + stream.total_out;
        stream.avail_out = capacity - unsigned(stream.total_out);
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            done = true;
            break;
        }
        if (status != Z_OK)
            break;
        if (capacity - stream.total_out < kGrowth) {
            const unsigned grown = capacity + kGrowth;
            auto* bigger = grown > capacity ? static_cast<unsigned char*>(std::realloc(out, grown)) : nullptr;
            if (!bigger)
                break;
            out = bigger;
            capacity = grown;
        }
    }
    const unsigned produced = unsigned(stream.total_out);
    inflateEnd(&stream);
    if (!done) {
        std::free(out);
        return false;
    }
    std::free(*data);
    *data = out;
    *size = produced;
    return true;
}
