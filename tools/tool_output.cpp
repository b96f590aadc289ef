#include "tool_output.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace tooloutput {

void complain(const std::string& what)
{
    std::fprintf(stderr, "skyvane-grib: %s\n", what.c_str());
}

std::string format(const char* fmt, ...)
{
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

std::string formatNumber(double x)
{
    if (x == std::floor(x) && std::fabs(x) < 1e15)
        return format("%.0f", x);
    return format("%.9g", x);
}

std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c >= 0x7f) {
            // Non-ASCII octets are taken as Latin-1 so the output stays valid.
            out += format("\\u%04x", c);
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

void JsonObject::addNumber(const char* name, double value)
{
    field(name, std::isfinite(value) ? formatNumber(value) : "null");
}

void JsonObject::addReal(const char* name, double value)
{
    field(name, std::isfinite(value) ? format("%.9g", value) : "null");
}

void JsonObject::addFloat(const char* name, float value)
{
    field(name, std::isfinite(value) ? format("%.7g", double(value)) : "null");
}

void JsonObject::addText(const char* name, const std::string* value)
{
    field(name, value ? jsonString(*value) : "null");
}

void JsonObject::field(const char* name, const std::string& value)
{
    if (!body_.empty())
        body_ += ", ";
    body_ += jsonString(name) + ": " + value;
}

}  // namespace tooloutput
