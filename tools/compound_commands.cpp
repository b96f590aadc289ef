#include "compound_commands.h"

#include "GribFile.h"
#include "GribKeys.h"
#include "tool_output.h"

#include <QByteArray>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace tooloutput;

namespace {

std::string keysJson(const std::vector<unsigned>& keys)
{
    std::string out = "[";
    for (size_t k = 0; k < keys.size(); ++k)
        out += (k ? ", " : "") + std::to_string(keys[k]);
    return out + "]";
}

std::string keysText(const std::vector<unsigned>& keys)
{
    std::string out;
    for (unsigned key : keys)
        out += (out.empty() ? "" : " ") + std::to_string(key);
    return out;
}

std::string areaJson(const QRectF& area)
{
    JsonObject o;
    o.addFloat("lon", float(area.x()));
    o.addFloat("lat", float(area.y()));
    o.addFloat("width", float(area.width()));
    o.addFloat("height", float(area.height()));
    return o.text();
}

std::string timeText(const GribMsg& msg)
{
    return format("%04u-%02u-%02u %02u:%02u", unsigned(msg.year), unsigned(msg.month),
                  unsigned(msg.day), unsigned(msg.hour), unsigned(msg.minute));
}

// One row of the point forecast: the value table's label (or the key when
// the table has none) and the value, or nothing outside the grid.
struct PointRow {
    std::string label;
    double value = 0.0;
    bool inside = false;
};

// The rows getValueTableAt gives, with whether the point lies on each
// row's grid, which the table itself does not tell.
std::vector<PointRow> pointRows(const CompoundMsg& c, float lat, float lon)
{
    std::list<CompoundMsg::Row> table;
    c.getValueTableAt(lat, lon, table);
    std::vector<PointRow> rows;
    auto entry = table.begin();
    for (size_t k = 0; k < c.size() && entry != table.end(); ++k, ++entry) {
        float ignored = 0.0f;
        PointRow row;
        row.inside = c[k].getValueAt(int(lat * 1000.0f), int(lon * 1000.0f), ignored);
        row.label = entry->first.isEmpty() ? "gct " + std::to_string(c[k].gct)
                                           : entry->first.toStdString();
        row.value = entry->second;
        rows.push_back(row);
        if (c[k].gct == GribKey::windU && k + 1 < c.size())
            ++k;  // its v component made the same row
    }
    return rows;
}

std::string rowsJson(const std::vector<PointRow>& rows)
{
    std::string out = "[";
    for (size_t k = 0; k < rows.size(); ++k) {
        JsonObject o;
        o.addText("label", &rows[k].label);
        o.addFloat("value", rows[k].inside ? float(rows[k].value) : NAN);
        out += (k ? ", " : "") + o.text();
    }
    return out + "]";
}

std::string rowsText(const std::vector<PointRow>& rows)
{
    std::string out;
    for (const PointRow& row : rows) {
        out += "  " + row.label + " ";
        out += row.inside ? format("%.6g", row.value) : std::string("-");
    }
    return out;
}

// Fields of one edition 2 message share its offset.
long long messagesIn(const GribFile& file)
{
    long long count = 0;
    long previous = -1;
    for (const GribField& field : file.fields()) {
        count += field.offset != previous ? 1 : 0;
        previous = field.offset;
    }
    return count;
}

bool anyInside(const std::vector<PointRow>& rows)
{
    for (const PointRow& row : rows) {
        if (row.inside)
            return true;
    }
    return false;
}

}  // namespace

int listCompounds(const char* path, bool json)
{
    GribFile file(path);
    const int compounds = file.getCompoundNum();
    const std::string problem = file.openProblem();
    if (json) {
        JsonObject o;
        o.add("messages", messagesIn(file));
        o.add("fields", (long long)file.messageCount());
        o.add("compoundSize", (long long)file.getCompoundSize());
        o.add("compounds", (long long)compounds);
        o.add("groupedByTime", file.isGroupedByTime());
        o.add("shortFirstCompound", file.isShortFirstCompound());
        o.add("timeStep", (long long)file.getTimeStep());
        o.addJson("area", areaJson(file.getArea()));
        o.addJson("gcts", keysJson(file.getGcts()));
        o.add("unreadable", (long long)file.unreadableCount());
        o.addText("problem", problem.empty() ? nullptr : &problem);
        std::printf("%s\n", o.text().c_str());
        return 0;
    }
    const QRectF& area = file.getArea();
    std::printf("messages            %lld\n", messagesIn(file));
    std::printf("fields              %d\n", file.messageCount());
    std::printf("compoundSize        %d\n", file.getCompoundSize());
    std::printf("compounds           %d\n", compounds);
    std::printf("groupedByTime       %s\n", file.isGroupedByTime() ? "yes" : "no");
    std::printf("shortFirstCompound  %s\n", file.isShortFirstCompound() ? "yes" : "no");
    std::printf("timeStep            %d h\n", file.getTimeStep());
    std::printf("area                lon %g lat %g width %g height %g (degrees)\n", area.x(),
                area.y(), area.width(), area.height());
    std::printf("gcts                %s\n", keysText(file.getGcts()).c_str());
    std::printf("unreadable          %d\n", file.unreadableCount());
    if (!problem.empty())
        std::printf("problem             %s\n", problem.c_str());
    return 0;
}

int showPoint(const char* path, double lat, double lon, bool json)
{
    GribFile file(path);
    const int compounds = file.getCompoundNum();
    bool inside = false;
    std::string array = "[";
    for (int n = 0; n < compounds; ++n) {
        CompoundMsg c;
        if (!file.goCompound(n, c) || c.empty())
            continue;
        const std::vector<PointRow> rows = pointRows(c, float(lat), float(lon));
        inside = inside || anyInside(rows);
        if (json) {
            JsonObject o;
            o.add("compound", (long long)n);
            const std::string time = timeText(c.front());
            o.addText("time", &time);
            o.addJson("rows", rowsJson(rows));
            array += (n ? ", " : "") + o.text();
        } else {
            std::printf("%s%s\n", timeText(c.front()).c_str(), rowsText(rows).c_str());
        }
    }
    if (json)
        std::printf("%s]\n", array.c_str());
    if (compounds > 0 && !inside) {
        complain(format("%s: the point %g, %g lies outside every grid", path, lat, lon));
        return 1;
    }
    return 0;
}
