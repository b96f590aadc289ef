// A forecast request as the stand-in server decodes it from the wire:
// fields 1 to 10 of the client's request record, with the area in
// thousandths of a degree.
#ifndef SKYVANE_FORECASTREQUEST_H
#define SKYVANE_FORECASTREQUEST_H

struct ForecastRequest {
    unsigned meteoType = 0;    // MeteoType bit set
    int resolution = 0;        // GribResolution code
    int forecastDay = 0;       // days after the reference date, 0 to 5
    int forecastTime = 0;      // UTC hour of the first step, 0 to 23
    int timeStep = 0;          // hours between steps; 10 means ten minutes
    unsigned stepsNumber = 0;  // number of time steps
    int topMilli = 0;          // northern edge, latitude
    int leftMilli = 0;         // western edge, longitude
    int rightMilli = 0;        // eastern edge, longitude (may exceed 180000)
    int bottomMilli = 0;       // southern edge, latitude
};

#endif
