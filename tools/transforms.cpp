#include "tools/transforms.h"

namespace wp {

int reverseNextWeft(DesignModel& d, bool reverse, int endWeft) {
    if (reverse) {
        if (d.currentPick < 1) d.currentPick = endWeft;
        return d.currentPick == 1 ? endWeft : d.currentPick - 1;
    }
    return d.currentPick == endWeft ? 1 : d.currentPick + 1;
}

}  // namespace wp
