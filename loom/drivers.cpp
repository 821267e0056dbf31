#include "loom/drivers.h"

#include "loom/jx3/jx3.h"
#include "loom/olm/olm.h"

namespace wp {
namespace {

template <class Driver>
std::unique_ptr<TWeave> make(LinkEnv env) {
    return std::make_unique<Driver>(std::move(env));
}

struct DriverEntry {
    LoomType type;
    const DriverTraits* traits;
    std::unique_ptr<TWeave> (*make)(LinkEnv env);
};

// One line per loom type.
const DriverEntry kDrivers[] = {
    {LoomType::JX3, &Tjx3::kTraits, make<Tjx3>},
    {LoomType::OLM, &Tolm::kTraits, make<Tolm>},
};

const DriverEntry* find(LoomType type) {
    for (const DriverEntry& e : kDrivers)
        if (e.type == type) return &e;
    return nullptr;
}

}  // namespace

std::unique_ptr<TWeave> makeDriver(LoomType type, LinkEnv env) {
    const DriverEntry* e = find(type);
    return e ? e->make(std::move(env)) : nullptr;
}

const DriverTraits* driverTraits(LoomType type) {
    const DriverEntry* e = find(type);
    return e ? e->traits : nullptr;
}

}  // namespace wp
