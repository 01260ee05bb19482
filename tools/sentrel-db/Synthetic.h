#pragma once
// A synthetic threat database for load benchmarks: the five threat tables with plausible,
// varied cell texts (so that compression behaves as on real data), deterministic for a seed.

#include <cstdint>

#include "database/DataBase.h"

namespace sentrel::dbtool {

// Adds the five threat tables with `rows` rows in all to an empty database.
void FillSyntheticDataBase(TDataBase& database, int rows, std::uint32_t seed = 20261208);

}  // namespace sentrel::dbtool
