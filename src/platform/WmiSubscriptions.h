#pragma once
// The permanent event subscriptions of WMI (namespace root\subscription): a consumer that runs a
// command line or a script, bound by a __FilterToConsumerBinding to an __EventFilter whose query
// says when. Listed, read, deleted and created again through IWbemServices.
// COM is started on the calling thread when it is not yet. Failures throw Win32Error with the
// HRESULT as its code, but for a refusal for want of rights (WBEM_E_ACCESS_DENIED,
// E_ACCESSDENIED), which gives ERROR_ACCESS_DENIED: changing root\subscription needs an
// administrator.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel::platform {

// The namespace of the permanent subscriptions.
inline constexpr std::string_view kSubscriptionNamespace = "root\\subscription";

// A property of an instance that can be put back: a text ('s'), a whole number ('i', kept in
// decimal, of the CIM type `cimType`) or a truth value ('b', "1" or "0").
struct WmiProperty {
    std::string name;
    char kind = 's';
    long cimType = 0;
    std::string value;
    bool operator==(const WmiProperty&) const = default;
};

// An instance: its class, its path relative to the namespace (__RELPATH, as
// `CommandLineEventConsumer.Name="x"`) and its own properties that are set (system properties,
// arrays and empty ones left out).
struct WmiObject {
    std::string className;
    std::string path;
    std::vector<WmiProperty> properties;
    // The text of the property `name` (letter case aside); empty when it has none.
    std::string Text(std::string_view name) const;
    bool operator==(const WmiObject&) const = default;
};

// A consumer that runs something (CommandLineEventConsumer, ActiveScriptEventConsumer) with the
// filter and the binding that start it. A consumer bound to two filters comes twice.
struct WmiSubscription {
    WmiObject consumer;
    WmiObject filter;
    WmiObject binding;
};

// Every binding of root\subscription whose consumer runs a command line or a script. A binding
// whose consumer or filter cannot be read (gone meanwhile) is left out. Where the system has no
// such namespace or classes (Wine) it throws Win32Error with the HRESULT the system gave
// (WBEM_E_INVALID_NAMESPACE, WBEM_E_INVALID_CLASS, ...).
std::vector<WmiSubscription> ListWmiSubscriptions();

// Every instance of the class `className` in root\subscription (a binding's filter may serve the
// bindings of other consumers too).
std::vector<WmiObject> ListWmiObjects(std::string_view className);

// The instance at `path` (relative to root\subscription); nothing when there is none.
std::optional<WmiObject> ReadWmiObject(std::string_view path);

// Deletes the instance at `path`; false when there was none.
bool DeleteWmiObject(std::string_view path);

// Creates `object` (its class, its properties) in root\subscription; throws when one of its path
// is there already.
void CreateWmiObject(const WmiObject& object);

// Whether an error's code (an HRESULT) says the system has no WMI, no root\subscription or not
// its classes.
bool IsWmiMissing(unsigned long code);

// The object path `reference` (a binding's Consumer or Filter, maybe with the server and
// namespace before a colon) without them, as the instance's __RELPATH gives it.
std::string RelativeWmiPath(std::string_view reference);

}  // namespace sentrel::platform
