#pragma once
// The source of the registry points of the table (Windows): each point read in every view it is
// watched in (a machine key in both), a key read again only once the system reported a change of
// it. A new value of an autorun key is a TAutorunAddWarning; every other finding an
// AutostartPointWarning.

#include <memory>
#include <vector>

#include "monitors/AutostartMonitor.h"

namespace sentrel {

std::unique_ptr<AutostartSource> MakeRegistryPointsSource(const std::vector<AutostartPoint>& points);

}  // namespace sentrel
