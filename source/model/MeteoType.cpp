#include "MeteoType.h"

int getIndexByMeteo(int type)
{
    for (int index = 0; index < kMeteoTypeCount; ++index) {
        if (type == (1 << index))
            return index;
    }
    return -1;
}
