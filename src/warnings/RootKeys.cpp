#include "warnings/RootKeys.h"

namespace sentrel {

std::string RootKeyName(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::ClassesRoot: return "HKEY_CLASSES_ROOT";
        case RegistryRoot::CurrentUser: return "HKEY_CURRENT_USER";
        case RegistryRoot::LocalMachine: return "HKEY_LOCAL_MACHINE";
        case RegistryRoot::Users: return "HKEY_USERS";
        case RegistryRoot::PerformanceData: return "HKEY_PERFORMANCE_DATA";
        case RegistryRoot::CurrentConfig: return "HKEY_CURRENT_CONFIG";
        case RegistryRoot::DynData: return "HKEY_DYN_DATA";
    }
    return {};
}

}  // namespace sentrel
