#pragma once

#include <memory>

#include "loom/weave.h"

namespace wp {

// The driver of a loom type, or nothing for a type without one.
std::unique_ptr<TWeave> makeDriver(LoomType type, LinkEnv env);

// What a loom type's driver can do, without making one; nothing for a type
// without a driver.
const DriverTraits* driverTraits(LoomType type);

}  // namespace wp
