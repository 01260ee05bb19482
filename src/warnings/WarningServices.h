#pragma once
// What the warnings need from the running shield. The application fills it once its monitors
// exist; tests fill only what they check. A hook left empty is skipped.

#include <functional>
#include <memory>
#include <string>

#include "warnings/Warning.h"  // complete: hooks take and hand on std::unique_ptr<TWarning>

namespace sentrel {

struct WarningServices {
    // The threat database's tests. GetTitle of TAutorunAddWarning asks the first; the file,
    // cookie and folder remedies ask them again just before they move anything, so that what
    // changed since the finding (a file replaced, a database updated) is left in place.
    std::function<bool(const std::string& path)> isKnownSpywareFile;      // a file, by content and place
    std::function<bool(const std::string& name)> isTrackingCookie;        // a cookie file name
    std::function<bool(const std::string& folderPath)> isSpywareFolder;   // with its trailing separator
    std::function<void(std::unique_ptr<TWarning>)> queueWarning;          // GetTitle's TFileWarning
    std::function<void(const std::string& path)> markShieldMove;          // both ends of every file move
    std::function<void()> runAutorunPass;                                 // after an autorun fix
    // After a browser-setting fix: the watches of the value the fix rewrote (its root, key
    // without trailing backslashes, name and registry view) take the new data as known.
    std::function<void(RegistryRoot root, const std::string& key, const std::string& value, RegistryView view)>
        refreshWatchedValue;
    // The cookies folder without a trailing separator; left empty, the cookie remedies ask the
    // shell (CSIDL_COOKIES). Tests point it at a folder of their own.
    std::function<std::string()> cookiesFolder;
};

void SetWarningServices(WarningServices services);   // main thread, at start-up
const WarningServices& GetWarningServices();

// Sets `services` for the lifetime of the object and puts the previous ones back afterwards
// (tests, and any code that needs other hooks for a while).
class ScopedWarningServices {
public:
    explicit ScopedWarningServices(WarningServices services);
    ~ScopedWarningServices();
    ScopedWarningServices(const ScopedWarningServices&) = delete;
    ScopedWarningServices& operator=(const ScopedWarningServices&) = delete;

private:
    WarningServices previous_;
};

}  // namespace sentrel
