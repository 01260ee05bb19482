#pragma once
// The autostart source of the services ("services" rows of the table): every Win32 service of the
// services key is an entry, by its name, shown with its ImagePath; a new one is a finding, and
// so is one whose ImagePath or ServiceDll changed.

#include <memory>
#include <vector>

#include "monitors/AutostartMonitor.h"

namespace sentrel {

// A row's "where" must be the services key (HKLM\SYSTEM\CurrentControlSet\Services); another is
// logged and not watched. A service's key is read again only when it was written since the last
// pass (the registry's time of each subkey, and of the Parameters key of a service that names a
// library there), so a pass over hundreds of services costs one listing of the key and a look at
// the Parameters keys of the shared hosts' services; the keys not read yet are read for at most
// 20 ms a pass, the point read whole only once all are.
std::unique_ptr<AutostartSource> MakeServicesSource(const std::vector<AutostartPoint>& points);

}  // namespace sentrel
