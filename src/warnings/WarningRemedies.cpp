#include "warnings/WarningRemedies.h"

#include <map>
#include <string>

namespace sentrel {

namespace {

std::map<std::string, WarningRemedy, std::less<>>& Remedies() {
    static std::map<std::string, WarningRemedy, std::less<>> remedies;
    return remedies;
}

}  // namespace

void RegisterWarningRemedy(std::string_view className, WarningRemedy remedy) {
    Remedies().insert_or_assign(std::string(className), remedy);
}

const WarningRemedy* FindWarningRemedy(std::string_view className) {
    const auto found = Remedies().find(className);
    return found == Remedies().end() ? nullptr : &found->second;
}

}  // namespace sentrel
