#include "ByteSize.h"

QString bytes2String(int bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 1048576)
        return QStringLiteral("%1 kb").arg(bytes / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 Mb").arg(bytes / 1048576.0, 0, 'f', 1);
}
