// The Beaufort bands by force number, and the conversions between wind
// speed in knots and Beaufort force.
#ifndef SKYVANE_BEAUFORTSCALE_H
#define SKYVANE_BEAUFORTSCALE_H

#include <QString>

#include <map>

struct BeaufortData {
    QString force;  // "0" … "12"
    QString speed;  // lower bound of the band in knots, as text
};

class BeaufortScale {
public:
    using Map = std::map<float, BeaufortData>;

    void add(float force, const BeaufortData& data);
    void clear() { rows.clear(); }
    // The row with the smallest key not below value.  A value above every
    // key leaves data unchanged and returns false.
    bool getBeaufort(float value, BeaufortData& data) const;
    const Map& getMap() const { return rows; }

private:
    Map rows;
};

// (speed * 0.61536413)^(2/3) + 0.5: truncated, the rounded Beaufort force
// of a speed in knots.
float metric2Beaufort(float speed);
// force^1.5 * 1.625054 knots.
float beaufort2Metric(float force);

#endif
