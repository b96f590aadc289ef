#include "DecompressData.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>

#include <zlib.h>

namespace {

constexpr size_t kSmallestOutput = 262144;
// Forecasts inflate to two or three times their payload; most need no
// growth at all.
constexpr size_t kFirstGuessRatio = 4;

size_t firstCapacity(size_t inputBytes, size_t ceiling)
{
    if (inputBytes > ceiling / kFirstGuessRatio)
        return ceiling;
    return std::min(ceiling, std::max(kSmallestOutput, inputBytes * kFirstGuessRatio));
}

// Doubling keeps the copying linear in the output (large blocks are
// usually moved by remapping, without a copy at all).
size_t grownCapacity(size_t capacity, size_t ceiling)
{
    return capacity > ceiling / 2 ? ceiling : capacity * 2;
}

Inflation failureOf(int zlibStatus)
{
    return zlibStatus == Z_MEM_ERROR ? Inflation::OutOfMemory : Inflation::NotZlib;
}

// Inflates stream into out, growing it up to ceiling bytes; a stream that
// fills all of them is longer than the limit one below.
Inflation inflateInto(z_stream& stream, unsigned char*& out, size_t& capacity, size_t ceiling)
{
    for (;;) {
        stream.next_out = out + stream.total_out;
        stream.avail_out = uInt(capacity - stream.total_out);
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (stream.total_out >= ceiling)
            return Inflation::TooLarge;
        if (status == Z_STREAM_END)
            return Inflation::Inflated;
        if (status != Z_OK)
            return failureOf(status);
        if (stream.avail_out > 0)
            continue;
        const size_t grown = grownCapacity(capacity, ceiling);
        auto* bigger = static_cast<unsigned char*>(std::realloc(out, grown));
        if (!bigger)
            return Inflation::OutOfMemory;
        out = bigger;
        capacity = grown;
    }
}

}  // namespace

Inflation inflateInPlace(unsigned char** data, unsigned* size, unsigned maxBytes)
{
    if (!data || !*data || !size)
        return Inflation::NotZlib;
    // The result's count must fit in *size.
    const size_t ceiling = size_t(std::min(maxBytes, UINT_MAX - 1u)) + 1;
    size_t capacity = firstCapacity(*size, ceiling);
    auto* out = static_cast<unsigned char*>(std::malloc(capacity));
    if (!out)
        return Inflation::OutOfMemory;
    z_stream stream{};
    stream.next_in = *data;
    stream.avail_in = *size;
    const int opened = inflateInit(&stream);
    if (opened != Z_OK) {
        std::free(out);
        return failureOf(opened);
    }
    const Inflation outcome = inflateInto(stream, out, capacity, ceiling);
    const auto produced = unsigned(stream.total_out);
    inflateEnd(&stream);
    if (outcome != Inflation::Inflated) {
        std::free(out);
        return outcome;
    }
    std::free(*data);
    *data = out;
    *size = produced;
    return Inflation::Inflated;
}
