#pragma once
// The shield as a user past the first start has it, and its alert window answered as that user
// would: the program folder and its options, the alert waited for, read and answered.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "config/Options.h"
#include "core/SecurityLevels.h"
#include "e2e/ShieldProcess.h"
#include "platform/Registry.h"

namespace sentrel::e2e {

// A fresh program folder (see ProgramFolder, `name` included) with the shipped database and
// pictures and the options a user who has been through the first start and chose "Inform me and
// ask what to do" would have, at the security level `level`.
class ShieldFolder : public ProgramFolder {
public:
    explicit ShieldFolder(SecurityLevel level = SecurityLevel::Medium, const std::string& name = {});

    TOptions Options() const { return TOptions("options.ini", Path()); }
    int Option(const std::string& key) const { return Options().ReadInteger(key, -1); }
};

inline constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The current user's Run key; the values a test adds are deleted when it ends.
class RunKey {
public:
    // Made before the shield starts: the shield starts as at its first start.
    RunKey() : key_(platform::RegistryKey::Create(HKEY_CURRENT_USER, kRunKey)) { ForgetAutostartBaseline(); }
    ~RunKey() {
        for (const auto& name : added_) key_.DeleteValue(name);
    }
    RunKey(const RunKey&) = delete;
    RunKey& operator=(const RunKey&) = delete;

    // Once the shield has a baseline, so that the value is reported as new.
    void Add(const std::string& name, const std::string& data) {
        WaitForAutostartBaseline();
        key_.WriteString(name, data);
        added_.push_back(name);
    }
    void Remove(const std::string& name) { key_.DeleteValue(name); }
    std::optional<platform::RegistryValue> Read(const std::string& name) const { return key_.ReadValue(name); }

private:
    platform::RegistryKey key_;
    std::vector<std::string> added_;
};

// The shield's alert window once it shows a warning, or null. The default wait is longer than an
// autorun pass (6 s) and a dispatcher tick, with room for a slow machine.
HWND WaitForAlert(const ShieldProcess& shield, std::chrono::milliseconds timeout = 25s);

// Texts parted by " | ", for failure messages.
std::string Joined(const std::vector<std::string>& texts);
// The texts of every child of `window`, joined.
std::string AllTexts(HWND window);
bool Contains(const std::vector<std::string>& texts, const std::string& text);

// Presses one of the alert's buttons ("shield", "ignore"); returns once the alert has handled it.
void Click(HWND alert, const std::string& button);
// Ticks check boxes of the alert ("Do it always"), then presses one of its buttons; the alert
// goes away.
void Choose(HWND alert, const std::vector<std::string>& checkBoxes, const std::string& button);
// Answers as many alerts as `expected` holds with Shield me: each shows one of the `expected`
// descriptions, none twice. The alert whose description contains `pictured` (when given) is saved
// as the screenshot `pictureName` first, for people to look at.
void ShieldEach(const ShieldProcess& shield, const std::vector<std::string>& expected,
                const std::string& pictured = {}, const std::string& pictureName = {});

// Opens the restore page from the main window, checks it lists `count` changes, selects them all
// and presses Undo; the undo then runs in the shield.
void UndoEveryChange(const ShieldProcess& shield, int count);

// For a failure message: the text of a message box the shield shows, and the last lines of its
// diagnostic log.
std::string WhatTheShieldSays(const ShieldProcess& shield);

// What the baseline shows of the entry `item` of the point `point` (its data); nothing while the
// baseline cannot be read or has no such entry.
std::optional<std::string> BaselineData(const std::string& point, const std::string& item);

// 4096 bytes the shipped database knows by their checksums (its test set).
std::string KnownThreatContent();

// Asks the shield to close, as taskkill does, and waits until it has ended.
void Stop(ShieldProcess& shield);

}  // namespace sentrel::e2e
