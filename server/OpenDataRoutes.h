// What the stand-in open-data services answer for a request target:
//   /cgi-bin/filter_gfs_0p25.pl?dir=…&file=…&var_…&lev_…&subregion=…
//   /cgi-bin/filter_gfswave.pl?…          NOMADS' GRIB filter
//   /pub/data/nccf/com/gfs/prod/…/….idx   NOMADS' inventories (run probes)
//   /ecmwf/YYYYMMDD/HHz/ifs/0p25/{oper,wave}/…-{step}h-{oper,wave}-fc.{grib2,index}
// A run or step not published, and anything else, is 404.
#ifndef SKYVANE_OPENDATAROUTES_H
#define SKYVANE_OPENDATAROUTES_H

#include "OpenDataCatalogue.h"
#include "OpenDataContent.h"

#include <QByteArray>

struct Answer {
    int status = 404;
    QByteArray body;
    QByteArray contentType = "text/plain";
    bool data = false;       // a filter answer or a .grib2 body: faults apply
    bool rangeable = false;  // byte ranges are served
};

class OpenDataRoutes {
public:
    OpenDataRoutes(OpenDataContent& content, const RunPublication& publication);

    Answer answer(const QByteArray& target);

private:
    Answer nomadsFilter(OpenDataFeed feed, const QByteArray& query);
    Answer nomadsInventory(OpenDataFeed feed, const QDateTime& run, int step);
    Answer ecmwfFile(OpenDataFeed feed, const QDateTime& run, int step, bool index);
    Answer failure(int status, const QString& reason) const;
    // The whole step file of a published step; null, with the answer to
    // give instead, when it is not published or cannot be made.
    StepFilePtr publishedStepFile(OpenDataFeed feed, const QDateTime& run, int step, Answer& refusal);
    static Answer gribAnswer(const QByteArray& bytes);

    OpenDataContent& content;
    RunPublication publication;
};

#endif
