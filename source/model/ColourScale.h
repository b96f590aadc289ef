// A colour scale: float keys are the lower bounds of value bands.
#ifndef SKYVANE_COLOURSCALE_H
#define SKYVANE_COLOURSCALE_H

#include <QColor>

#include <map>

class ColourScale {
public:
    using Map = std::map<float, QColor>;

    // Inserts the band; an equal key has its colour replaced.
    void add(float key, const QColor& colour);
    // The colour of the greatest key not above value; a value below every
    // key takes the smallest key's colour.  An empty scale leaves colour.
    void getColour(float value, QColor& colour) const;
    const Map& getMap() const { return bands; }
    void clear() { bands.clear(); }

private:
    Map bands;
};

#endif
