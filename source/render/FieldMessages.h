// The weather messages as the map's layers read them: a compound's message
// by key, whether a message's grid can be walked, and whether a value is
// there to be drawn.
#ifndef SKYVANE_FIELDMESSAGES_H
#define SKYVANE_FIELDMESSAGES_H

#include "GribFile.h"

namespace FieldMessages {

// Neither not a number nor the file's missing value.
inline bool isPresent(float value)
{
    return value == value && value != kGribMissingValue;
}

// The first message of the compound with the key.
inline const GribMsg* messageWithKey(const CompoundMsg& compound, unsigned key)
{
    for (const GribMsg& msg : compound)
        if (msg.gct == key)
            return &msg;
    return nullptr;
}

// A message whose grid can be walked: values for ni x nj points and
// positive steps.
inline bool hasUsableGrid(const GribMsg* msg)
{
    return msg && msg->values && msg->ni > 0 && msg->nj > 0 && msg->di > 0 && msg->dj > 0;
}

}  // namespace FieldMessages

#endif
