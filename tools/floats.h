#pragma once

#include "model/design.h"

namespace wp {

// Float repair by hand: while the analysis is open (display mode 1 to 3) the
// cell of lift-matrix row j and bit x is complemented; in the marked views
// (modes 2 and 3) its float-map entry becomes 1, so it shows as a one-cell run
// until the next marking pass. False when nothing changed (analysis closed, or
// a cell outside the design).
bool flipCellByHand(DesignModel& d, RowNo j, int x);

}  // namespace wp
