#pragma once
// What the autostart entries that are no registry values keep besides what they show (their raw
// part, monitors/AutostartPoints.h): what a fix needs to put a changed one back. The monitors'
// comparison and the remedies read it alike; nothing here knows a warning.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

// The raw part of a service's autostart entry, "start type<TAB>display name<TAB>service dll",
// and back (a text without two tabs gives the defaults).
struct ServiceEntryParts {
    unsigned startType = 3;
    std::string displayName;
    std::string serviceDll;
};
std::string ServiceEntryRaw(const ServiceEntryParts& parts);
ServiceEntryParts ServiceEntryPartsOf(std::string_view raw);

// What a shortcut starts: its target and arguments.
struct ShortcutLink {
    std::string target;
    std::string arguments;
    bool operator==(const ShortcutLink&) const = default;
};

// An action of a scheduled task that starts a program: the program, its arguments and the folder
// it starts in.
struct TaskAction {
    std::string program;
    std::string arguments;
    std::string folder;
    bool operator==(const TaskAction&) const = default;
};

// The raw part of a shortcut's entry ("shortcut:" and the hex of its texts, each ended by a zero
// byte) and of a task's ("actions:" and the same of each action's three texts), and back. The
// reading gives nothing for another text: a file that is no shortcut, or the entry of an older
// version, which kept nothing there.
std::string ShortcutRaw(const ShortcutLink& link);
std::optional<ShortcutLink> ShortcutOfRaw(std::string_view raw);
std::string TaskActionsRaw(const std::vector<TaskAction>& actions);
std::optional<std::vector<TaskAction>> TaskActionsOfRaw(std::string_view raw);

// What a WMI event subscription's entry and a background transfer's entry keep: the objects a fix
// removes and an undo makes again, each with its properties. A property is a text ('s'), a whole
// number ('i', in decimal, of the CIM type `cimType`) or a truth value ('b', "1" or "0").
struct KeptProperty {
    char kind = 's';
    long cimType = 0;
    std::string name;
    std::string value;
    bool operator==(const KeptProperty&) const = default;
};
struct KeptObject {
    std::string role;  // "consumer", "filter", "binding"; "job", "file"
    std::string className;
    std::string path;
    std::vector<KeptProperty> properties;
    // The value of the property `name` (letter case aside); empty when it has none.
    std::string Text(std::string_view name) const;
    bool operator==(const KeptObject&) const = default;
};
inline constexpr std::string_view kWmiRawMark = "wmi:";
inline constexpr std::string_view kBitsRawMark = "bits:";
// `mark` and the hex of the objects' texts, and back (nothing for another or a damaged text).
std::string KeptObjectsRaw(std::string_view mark, const std::vector<KeptObject>& objects);
std::optional<std::vector<KeptObject>> KeptObjectsOfRaw(std::string_view raw, std::string_view mark);
// The first object of that role; null when there is none.
const KeptObject* FindKeptObject(const std::vector<KeptObject>& objects, std::string_view role);

}  // namespace sentrel
