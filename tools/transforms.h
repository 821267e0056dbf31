#pragma once

#include "model/design.h"

namespace wp {

// The "Next weft on resume" value after the Reverse box changed to `reverse`,
// from the current pick and End weft. Wraps at 1 and End weft; Start weft is not
// consulted. A current pick below 1 becomes End weft first when reversing.
int reverseNextWeft(DesignModel& d, bool reverse, int endWeft);

}  // namespace wp
