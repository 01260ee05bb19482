#include "warnings/WarningServices.h"

#include <utility>

namespace sentrel {

namespace {

WarningServices& Services() {
    static WarningServices services;
    return services;
}

}  // namespace

void SetWarningServices(WarningServices services) {
    Services() = std::move(services);
}

const WarningServices& GetWarningServices() {
    return Services();
}

ScopedWarningServices::ScopedWarningServices(WarningServices services) : previous_(std::move(Services())) {
    Services() = std::move(services);
}

ScopedWarningServices::~ScopedWarningServices() {
    Services() = std::move(previous_);
}

}  // namespace sentrel
