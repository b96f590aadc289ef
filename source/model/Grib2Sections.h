// The section layout of one GRIB edition 2 message, checked against the
// message's own lengths before any of it reaches ecCodes, and each of its
// fields assembled into a message of its own.
#ifndef SKYVANE_GRIB2SECTIONS_H
#define SKYVANE_GRIB2SECTIONS_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Grib2Sections {

// Reads count octets at offset (from the message's start) into out.
using Reader = std::function<bool(uint64_t offset, size_t count, unsigned char* out)>;

struct Span {
    uint64_t at = 0;  // from the message's start
    uint32_t length = 0;
};

// The sections one field is made of: a message may repeat sections 2 to 7,
// and a field takes the latest of each that came before it.
struct FieldSections {
    Span identification, localUse, grid, product, representation, bitmap, data;
};

struct Layout {
    uint64_t totalLength = 0;
    unsigned discipline = 0;
    std::vector<FieldSections> fields;
};

constexpr size_t kIndicatorLength = 16;

// The length section 0 states, from its first 16 octets; 0 when they are
// not those of an edition 2 message.
uint64_t statedLength(const unsigned char* indicator);

// Walks the sections of a message of at most available octets.  False,
// with the reason in error, when a length, a section order or the end
// marker is wrong, or a field refers to a bitmap the message never gave.
bool readLayout(const Reader& read, uint64_t available, Layout& layout, std::string& error);

struct TemplateNumber {
    unsigned section;  // 3 grid, 4 product, 5 representation
    unsigned number;
};

// The template numbers of the grid, product and representation sections
// of a message as assembleField makes it; false when a section is too
// short to state one or a length does not fit.
bool templateNumbers(const std::vector<unsigned char>& message, std::vector<TemplateNumber>& numbers);

// Field k as a message of its own.  Without data its bitmap and data
// sections are left empty: enough for ecCodes to read every header key.
bool assembleField(const Reader& read, const Layout& layout, size_t k, bool withData,
                   std::vector<unsigned char>& message, std::string& error);

}  // namespace Grib2Sections

#endif
