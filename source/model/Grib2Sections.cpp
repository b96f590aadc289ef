#include "Grib2Sections.h"

#include <cstring>

namespace Grib2Sections {

namespace {

constexpr size_t kSectionHead = 5;     // length (4 octets) and number
constexpr size_t kEndMarker = 4;       // "7777"
constexpr unsigned kBitmapGiven = 0;
constexpr unsigned kBitmapFromEarlier = 254;
// Header sections are small; a stated length beyond this is a damaged one,
// and reading it would only allocate for nothing.
constexpr uint32_t kMaxHeaderSection = 64u * 1024u * 1024u;

uint32_t be32(const unsigned char* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

void putBe32(uint32_t v, unsigned char* p)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * (3 - i)));
}

// Which section may follow: 1 opens, 2 or 3 after 1, then 3 4 5 6 7 in
// order, and after 7 a new field from 2, 3 or 4, or the end.
bool mayFollow(unsigned previous, unsigned number)
{
    switch (previous) {
    case 0: return number == 1;
    case 1: return number == 2 || number == 3;
    case 7: return number == 2 || number == 3 || number == 4;
    default: return number == previous + 1 && number <= 7;
    }
}

bool fail(std::string& error, const std::string& why)
{
    error = why;
    return false;
}

struct Walk {
    const Reader& read;
    Layout& layout;
    std::string& error;
    FieldSections current;
    Span lastGivenBitmap;
    unsigned previous = 0;

    bool step(uint64_t at, uint32_t length, unsigned number);
    bool takeBitmap(uint64_t at, uint32_t length);
};

bool Walk::takeBitmap(uint64_t at, uint32_t length)
{
    unsigned char indicator = 0;
    if (length < kSectionHead + 1 || !read(at + kSectionHead, 1, &indicator))
        return fail(error, "bitmap section too short");
    current.bitmap = {at, length};
    if (indicator == kBitmapGiven)
        lastGivenBitmap = current.bitmap;
    else if (indicator == kBitmapFromEarlier) {
        if (lastGivenBitmap.length == 0)
            return fail(error, "field uses an earlier bitmap the message never gave");
        current.bitmap = lastGivenBitmap;
    }
    return true;
}

bool Walk::step(uint64_t at, uint32_t length, unsigned number)
{
    if (!mayFollow(previous, number))
        return fail(error, "section " + std::to_string(number) + " out of order after section " +
                               std::to_string(previous));
    if (number != 7 && length > kMaxHeaderSection)
        return fail(error, "section " + std::to_string(number) + " length " + std::to_string(length) +
                               " is implausible");
    const Span span{at, length};
    switch (number) {
    case 1: current.identification = span; break;
    case 2: current.localUse = span; break;
    case 3: current.grid = span; break;
    case 4: current.product = span; break;
    case 5: current.representation = span; break;
    case 6:
        if (!takeBitmap(at, length))
            return false;
        break;
    case 7:
        current.data = span;
        layout.fields.push_back(current);
        break;
    default: break;
    }
    previous = number;
    return true;
}

// Appends span's octets as read.
bool append(const Reader& read, const Span& span, std::vector<unsigned char>& out)
{
    if (span.length == 0)
        return true;
    const size_t at = out.size();
    out.resize(at + span.length);
    return read(span.at, span.length, out.data() + at);
}

void appendEmptySection(unsigned number, std::vector<unsigned char>& out)
{
    // A bitmap section saying "no bitmap", a data section without data.
    const bool bitmap = number == 6;
    unsigned char s[6];
    putBe32(bitmap ? 6 : 5, s);
    s[4] = static_cast<unsigned char>(number);
    s[5] = 255;
    out.insert(out.end(), s, s + (bitmap ? 6 : 5));
}

}  // namespace

bool templateNumbers(const std::vector<unsigned char>& message, std::vector<TemplateNumber>& numbers)
{
    // Where each section states its template number (octets 13-14, 8-9
    // and 10-11, counted from 1).
    const size_t numberAt[8] = {0, 0, 0, 12, 7, 9, 0, 0};
    numbers.clear();
    for (size_t at = kIndicatorLength; at + kSectionHead <= message.size();) {
        const uint32_t length = be32(&message[at]);
        const unsigned section = message[at + 4];
        if (length < kSectionHead || length > message.size() - at)
            return false;
        if (section < 8 && numberAt[section] != 0) {
            const size_t octet = at + numberAt[section];
            if (length < numberAt[section] + 2)
                return false;
            numbers.push_back({section, (unsigned(message[octet]) << 8) | message[octet + 1]});
        }
        at += length;
    }
    return true;
}

uint64_t statedLength(const unsigned char* indicator)
{
    if (std::memcmp(indicator, "GRIB", 4) != 0 || indicator[7] != 2)
        return 0;
    uint64_t length = 0;
    for (int i = 8; i < 16; ++i)
        length = (length << 8) | indicator[i];
    return length;
}

bool readLayout(const Reader& read, uint64_t available, Layout& layout, std::string& error)
{
    layout = Layout();
    unsigned char indicator[kIndicatorLength];
    if (available < kIndicatorLength || !read(0, kIndicatorLength, indicator))
        return fail(error, "message cut short in section 0");
    const uint64_t total = statedLength(indicator);
    if (total < kIndicatorLength + kEndMarker)
        return fail(error, "not an edition 2 message");
    if (total > available)
        return fail(error, "stated length " + std::to_string(total) + " runs past the end of the file");
    layout.totalLength = total;
    layout.discipline = indicator[6];
    Walk walk{read, layout, error, {}, {}, 0};
    const uint64_t end = total - kEndMarker;
    uint64_t at = kIndicatorLength;
    while (at < end) {
        unsigned char head[kSectionHead];
        if (at + kSectionHead > end || !read(at, kSectionHead, head))
            return fail(error, "section header cut short at octet " + std::to_string(at));
        const uint32_t length = be32(head);
        if (length < kSectionHead || length > end - at)
            return fail(error, "section " + std::to_string(head[4]) + " at octet " + std::to_string(at) +
                                   " states length " + std::to_string(length) + ", which does not fit the message");
        if (!walk.step(at, length, head[4]))
            return false;
        at += length;
    }
    unsigned char marker[kEndMarker];
    if (!read(end, kEndMarker, marker) || std::memcmp(marker, "7777", kEndMarker) != 0)
        return fail(error, "no end marker 7777 where the stated length ends");
    if (walk.previous != 7)
        return fail(error, "message ends before a data section");
    return true;
}

bool assembleField(const Reader& read, const Layout& layout, size_t k, bool withData,
                   std::vector<unsigned char>& message, std::string& error)
{
    message.clear();
    if (k >= layout.fields.size())
        return fail(error, "no such field");
    const FieldSections& f = layout.fields[k];
    message.resize(kIndicatorLength);
    bool ok = read(0, kIndicatorLength, message.data());
    for (const Span* span : {&f.identification, &f.localUse, &f.grid, &f.product, &f.representation})
        ok = ok && append(read, *span, message);
    if (withData) {
        // A bitmap taken from an earlier field was resolved by the walk.
        ok = ok && append(read, f.bitmap, message) && append(read, f.data, message);
    } else {
        appendEmptySection(6, message);
        appendEmptySection(7, message);
    }
    if (!ok)
        return fail(error, "field " + std::to_string(k) + " could not be read");
    message.insert(message.end(), {'7', '7', '7', '7'});
    const uint64_t total = message.size();
    for (int i = 0; i < 8; ++i)
        message[8 + i] = static_cast<unsigned char>(total >> (8 * (7 - i)));
    return true;
}

}  // namespace Grib2Sections
