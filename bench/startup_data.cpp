// Time and memory to construct the base map data (both land masks and the
// city list) from the generated files beside this executable, as the
// viewer does at start: startup_data [--reps R] [--tiny]
#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "SharedData.h"

namespace {

// Resident and peak resident memory of this process, in MB.
double statusMegabytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::atof(line.c_str() + std::strlen(field)) / 1024.0;
    }
    return 0;
}

int cityCount(const SharedData& data)
{
    int count = 0;
    for (const CityData* city = data.cities; city; city = city->next)
        ++count;
    return count;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    int reps = 5;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--tiny"))
            reps = 1;
        else if (!std::strcmp(argv[i], "--reps") && i + 1 < argc && std::atoi(argv[i + 1]) > 0)
            reps = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--reps R] [--tiny]\n", argv[0]);
            return 2;
        }
    }
    const double residentBefore = statusMegabytes("VmRSS:");
    double best = 1e9, total = 0, resident = 0;
    int cities = 0;
    bool masks = false;
    for (int r = 0; r < reps; ++r) {
        QElapsedTimer clock;
        clock.start();
        SharedData data;
        const double seconds = clock.nsecsElapsed() * 1e-9;
        best = std::min(best, seconds);
        total += seconds;
        resident = statusMegabytes("VmRSS:") - residentBefore;
        cities = cityCount(data);
        masks = !data.westernMask.isNull() && !data.easternMask.isNull();
    }
    std::printf("shared data: %s, %d cities\n", masks ? "both masks" : "MASKS MISSING", cities);
    std::printf("construction: best %.3f s, mean %.3f s over %d runs\n", best, total / reps, reps);
    std::printf("memory: %.1f MB resident for the data, %.1f MB peak for the process\n", resident,
                statusMegabytes("VmHWM:"));
    return masks && cities > 0 ? 0 : 1;
}
