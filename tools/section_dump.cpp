#include "section_dump.h"

#include "Grib2Sections.h"

#include <cstdio>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* fp) const { std::fclose(fp); }
};

void printSpan(unsigned number, const char* name, const Grib2Sections::Span& span)
{
    if (span.length == 0)
        std::printf("  %u  %-15s  %10s  %10s\n", number, name, "-", "-");
    else
        std::printf("  %u  %-15s  %10llu  %10u\n", number, name, (unsigned long long)span.at,
                    unsigned(span.length));
}

}  // namespace

bool dumpEdition2Sections(const char* path, const GribField& field, std::string& error)
{
    const std::unique_ptr<std::FILE, FileCloser> fp(std::fopen(path, "rb"));
    if (!fp || std::fseek(fp.get(), 0, SEEK_END) != 0) {
        error = "cannot be read again";
        return false;
    }
    const long size = std::ftell(fp.get());
    const long base = field.offset;
    const Grib2Sections::Reader read = [&fp, base](uint64_t at, size_t count, unsigned char* out) {
        return std::fseek(fp.get(), base + long(at), SEEK_SET) == 0 &&
               std::fread(out, 1, count, fp.get()) == count;
    };
    Grib2Sections::Layout layout;
    if (size < base || !Grib2Sections::readLayout(read, uint64_t(size - base), layout, error))
        return false;
    if (size_t(field.fieldInMessage) >= layout.fields.size()) {
        error = "the message no longer holds the field";
        return false;
    }
    const Grib2Sections::FieldSections& s = layout.fields[size_t(field.fieldInMessage)];
    std::printf("GRIB edition 2 message at offset %ld: %llu octets, discipline %u, %zu field(s)\n", base,
                (unsigned long long)layout.totalLength, layout.discipline, layout.fields.size());
    std::printf("field %d of the message; its sections, offset and length in octets from the "
                "message's start:\n", field.fieldInMessage + 1);
    printSpan(0, "indicator", {0, uint32_t(Grib2Sections::kIndicatorLength)});
    printSpan(1, "identification", s.identification);
    printSpan(2, "local use", s.localUse);
    printSpan(3, "grid", s.grid);
    printSpan(4, "product", s.product);
    printSpan(5, "representation", s.representation);
    printSpan(6, "bitmap", s.bitmap);
    printSpan(7, "data", s.data);
    printSpan(8, "end", {layout.totalLength - 4, 4});
    return true;
}
