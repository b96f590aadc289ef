// A byte count as the download progress shows it: "1023 bytes",
// "1.5 kb", "3.0 Mb".
#ifndef SKYVANE_BYTESIZE_H
#define SKYVANE_BYTESIZE_H

#include <QString>

QString bytes2String(int bytes);

#endif
