#include "warnings/RootKeys.h"

#include <algorithm>

#include "common/TextCase.h"

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

namespace {

constexpr std::string_view kRedirectedRoot = "SOFTWARE";
constexpr std::string_view kRedirectionKey = "WOW6432Node";

}  // namespace

std::string RegistryViewNumber(RegistryView view) {
    return view == RegistryView::Bits32 ? "32" : "64";
}

RegistryView RegistryViewFromNumber(std::string_view number) {
    return number == "32" ? RegistryView::Bits32 : RegistryView::Bits64;
}

std::string ViewKeyPath(std::string_view keyBelowRoot, RegistryView view) {
    if (view != RegistryView::Bits32) return std::string(keyBelowRoot);
    const std::size_t end = std::min(keyBelowRoot.find('\\'), keyBelowRoot.size());
    if (!SameIgnoringCase(keyBelowRoot.substr(0, end), kRedirectedRoot)) return std::string(keyBelowRoot);
    const std::string_view rest = end < keyBelowRoot.size() ? keyBelowRoot.substr(end + 1) : std::string_view();
    // A key named through the redirection key already is its own 32-bit path.
    if (SameIgnoringCase(rest.substr(0, std::min(rest.find('\\'), rest.size())), kRedirectionKey))
        return std::string(keyBelowRoot);
    std::string path(keyBelowRoot.substr(0, end));
    path += '\\';
    path += kRedirectionKey;
    if (!rest.empty()) {
        path += '\\';
        path += rest;
    } else if (end < keyBelowRoot.size()) {
        path += '\\';
    }
    return path;
}

}  // namespace sentrel
