// libFuzzer target over the data model's reading of a file of either
// edition: the index (the edition 1 locator and the edition 2 section
// walk, with ecCodes reading each field's headers), every field decoded
// for the map and as stored, and every compound with a value lookup.
#include "GribFile.h"
#include "constant_fields.h"

#include <eccodes.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <list>
#include <string>
#include <vector>

namespace {

// ecCodes logs every damaged message it is given; at thousands of inputs a
// second that drowns libFuzzer's own report.
void silentLog(const codes_context*, int, const char*) {}

// The model opens files by name: the input as a file in memory, named.
class MemoryFile {
public:
    MemoryFile(const uint8_t* data, size_t size) : fd_(memfd_create("gribfile", 0))
    {
        if (fd_ >= 0 && write(fd_, data, size) == ssize_t(size))
            std::snprintf(path_, sizeof path_, "/proc/self/fd/%d", fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    ~MemoryFile()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    const char* path() const { return path_[0] != '\0' ? path_ : nullptr; }

private:
    int fd_;
    char path_[64] = "";
};

// Whether an edition 1 message in the input may be a constant field on a
// grid beyond MAX_CONSTANT_POINTS.  Such inputs are passed over, as in
// fuzz_grib: the model would fill and copy up to GRIB_MAX_POINTS values
// for a message of 84 octets, seconds and gigabytes under the sanitizers,
// on a path small grids cover as well.
bool holdsOversizedConstantField(const uint8_t* data, size_t size)
{
    for (size_t at = 0; at + 8 <= size; ++at) {
        if (std::memcmp(data + at, "GRIB", 4) == 0 && data[at + 7] == 1 &&
            is_oversized_constant_field(data + at, size - at))
            return true;
    }
    return false;
}

// Reads both ends of the values so that a short array shows up.
void touchEnds(const std::vector<double>& values)
{
    if (!values.empty()) {
        volatile double first = values.front(), last = values.back();
        (void)first;
        (void)last;
    }
}

void walkFields(GribFile& file)
{
    GribMsg msg;
    std::vector<double> values;
    std::string error;
    for (int n = 0; n < file.messageCount(); ++n) {
        file.goMsg(n, msg);
        float value = 0.0f;
        msg.getValueAt(msg.lat2, msg.lon2, value);
        file.storedValues(n, values, error);
        touchEnds(values);
    }
}

void walkCompounds(GribFile& file)
{
    CompoundMsg c;
    std::list<CompoundMsg::Row> rows;
    for (int n = 0; n < file.getCompoundNum(); ++n) {
        file.goCompound(n, c);
        if (!c.empty())
            c.getValueTableAt(float(c.front().lat2) / 1000.0f, float(c.front().lon2) / 1000.0f, rows);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    codes_context_set_logging_proc(codes_context_get_default(), silentLog);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (holdsOversizedConstantField(data, size))
        return 0;
    const MemoryFile input(data, size);
    if (!input.path())
        return 0;
    GribFile file(input.path());
    walkFields(file);
    walkCompounds(file);
    file.isOurGribFile();
    return 0;
}
