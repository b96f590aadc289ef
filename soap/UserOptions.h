// The values of the login answer's userOptions that travel as names.  Any
// other int travels as its decimal number.
#ifndef SKYVANE_USEROPTIONS_H
#define SKYVANE_USEROPTIONS_H

namespace UserOptions {
constexpr int unknownUser = -1;  // "uoUnknownUser": credentials not recognised
constexpr int standard = 0;      // "uoStandard"
constexpr int subscriber = 1;    // "uoSubscriber"
}  // namespace UserOptions

#endif
