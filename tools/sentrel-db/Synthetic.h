#pragma once
// A synthetic threat database for load benchmarks: the five threat tables with plausible,
// varied cell texts (so that compression behaves as on real data), deterministic for a seed.

#include <cstdint>
#include <memory>
#include <vector>

#include "database/Table.h"

namespace sentrel::dbtool {

// The five threat tables with `rows` rows in all.
std::vector<std::unique_ptr<TTable>> MakeSyntheticTables(int rows, std::uint32_t seed = 20261208);

}  // namespace sentrel::dbtool
