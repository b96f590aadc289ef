// The section layout of the GRIB edition 2 message holding one field, for
// skyvane-grib dump.
#ifndef SKYVANE_SECTION_DUMP_H
#define SKYVANE_SECTION_DUMP_H

#include "GribField.h"

#include <string>

// Prints where each section the field is made of lies in its message.
// False, with the reason, when the message cannot be read again.
bool dumpEdition2Sections(const char* path, const GribField& field, std::string& error);

#endif
