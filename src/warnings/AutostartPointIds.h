#pragma once
// How an autostart point is named in the baseline, the gate and the backup records: the monitor
// names its points so, the remedies hold them by these names, and an old record that names no
// point gets its point back from its key. Header only: the administrator part uses it too.

#include <string>
#include <string_view>

#include "warnings/RootKeys.h"

namespace sentrel {

// The word of the points whose entries are the values of an autorun key (Run, RunOnce,
// RunServices) in the table of points.
inline constexpr std::string_view kAutorunPointKind = "autorun";

// The id of a point of the table that is the key `path` below `root` read in `view`, its kind's
// word first ("autorun HKCU\SOFTWARE\...\Run"); `path` carries whatever else tells the row apart.
inline std::string KeyPointId(std::string_view kindWord, RegistryRoot root, const std::string& path,
                              RegistryView view) {
    std::string id = std::string(kindWord) + (root == RegistryRoot::LocalMachine ? " HKLM\\" : " HKCU\\") + path;
    if (view == RegistryView::Bits32) id += " (32-bit)";
    return id;
}

}  // namespace sentrel
