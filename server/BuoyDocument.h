// The buoy-observation document of the stand-in server: a KML 2.2 document
// with one placemark per station at fixed ocean and harbour positions.
// Each description is a CDATA list of bold items separated by <br />, as
// the ocean buoy feeds write them:
//   <b>01/29/2013 1700 UTC</b><br /><b>Winds:</b> SW (225&#176;) 12.0 kt<br />...
// (winds, gusts, air temperature, pressure, wave height and period, mean
// wave direction, water temperature, tide; not every station has every
// sensor) in knots, °F, inches of mercury, feet and seconds; the mean wave
// direction also states its bearing as a number, "WSW (248&#176;) 248
// &#176;T", so that every item reads as name, value and unit.  A few
// stations report "No recent data".  The observations come from the
// server's synthetic weather at the station and time, with a little
// station noise: the same nowUtc always gives the same document.
#ifndef SKYVANE_BUOYDOCUMENT_H
#define SKYVANE_BUOYDOCUMENT_H

#include <QByteArray>
#include <QDateTime>

// UTF-8 KML.  Each station's observation time is the last whole hour of
// nowUtc or up to three hours before it, on a ten-minute mark.
QByteArray buildBuoyDocument(const QDateTime& nowUtc);

#endif
