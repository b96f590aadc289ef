// Text and JSON output shared by the skyvane-grib commands.
#ifndef SKYVANE_TOOL_OUTPUT_H
#define SKYVANE_TOOL_OUTPUT_H

#include <string>

namespace tooloutput {

// One "skyvane-grib: what" line on standard error.
void complain(const std::string& what);

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Whole numbers exactly, others to float precision.
std::string formatNumber(double x);
std::string jsonString(const std::string& s);

// Fields of one JSON object, in the order they are added.
class JsonObject {
public:
    void add(const char* name, long long value) { field(name, std::to_string(value)); }
    void add(const char* name, bool value) { field(name, value ? "true" : "false"); }
    void addNumber(const char* name, double value);
    void addReal(const char* name, double value);
    // A single-precision quantity, without digits it never had.
    void addFloat(const char* name, float value);
    void addText(const char* name, const std::string* value);
    // A value already in JSON (an array or object).
    void addJson(const char* name, const std::string& json) { field(name, json); }
    std::string text() const { return "{" + body_ + "}"; }

private:
    void field(const char* name, const std::string& value);
    std::string body_;
};

}  // namespace tooloutput

#endif
