// Construction and the duplicate test of the warning family.
#include "warnings/Warning.h"

#include <stdexcept>
#include <string>
#include <typeinfo>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "warnings/WarningRemedies.h"

namespace sentrel {

namespace {

// `other` as a T when its class is T or derives from T; null otherwise.
template <typename T>
const T* AsA(const TWarning& other) {
    return dynamic_cast<const T*>(&other);
}

// `other` as a T when its class is exactly T.
template <typename T>
const T* OfClass(const TWarning& other) {
    return typeid(other) == typeid(T) ? static_cast<const T*>(&other) : nullptr;
}

}  // namespace

void TWarning::Fix(TBackuper& backuper) {
    const WarningRemedy* remedy = FindWarningRemedy(ClassName());
    if (!remedy || !remedy->fix)
        throw std::logic_error(std::string(ClassName()) + "::Fix: no remedy is registered (remedies change the "
                               "system and are registered by the Windows build at start-up)");
    LogEvent("fix " + std::string(ClassName()) + " \"" + Name + "\"");
    remedy->fix(*this, backuper);
}

TProcessWarning::TProcessWarning(std::string name, std::string filePath)
    : TWarning(std::move(name)), FilePath(std::move(filePath)) {}

TFileWarning::TFileWarning(std::string name, std::string filePath)
    : TWarning(std::move(name)), FilePath(std::move(filePath)) {}

TFileChangeWarning::TFileChangeWarning(std::string name, const std::string& filePath)
    : TFileWarning(std::move(name), FolderPart(filePath)) {}

TAutorunAddWarning::TAutorunAddWarning(RegistryRoot rootKey, std::string name, std::string key, std::string value,
                                       std::string regString, RegistryView view)
    : TWarning(std::move(name)),
      Key(std::move(key)),
      Value(std::move(value)),
      RegString(std::move(regString)),
      RootKey(rootKey),
      View(view) {}

TBrowserSettingWarning::TBrowserSettingWarning(RegistryRoot rootKey, const std::string& key, std::string value,
                                               std::string oldRegString, std::string newRegString,
                                               RegistryView view)
    : TAutorunAddWarning(rootKey, key, key, std::move(value), std::string(), view),
      OldRegString(std::move(oldRegString)),
      NewRegString(std::move(newRegString)) {}

TCookieWarning::TCookieWarning(std::string name) : TWarning(std::move(name)) {}

TFolderWarning::TFolderWarning(std::string name, std::string folderPath)
    : TWarning(std::move(name)), FolderPath(std::move(folderPath)) {}

bool TKeyHookWarning::AreEqual(const TWarning& other) const {
    const auto* hook = OfClass<TKeyHookWarning>(other);
    return hook && hook->Name == Name;
}

bool TMouseHookWarning::AreEqual(const TWarning& other) const {
    const auto* hook = OfClass<TMouseHookWarning>(other);
    return hook && hook->Name == Name;
}

bool TProcessWarning::AreEqual(const TWarning& other) const {
    const auto* process = OfClass<TProcessWarning>(other);
    return process && process->Name == Name;
}

bool TFileWarning::AreEqual(const TWarning& other) const {
    const auto* file = AsA<TFileWarning>(other);
    return file && file->Name == Name && file->FilePath == FilePath;
}

bool TFileChangeWarning::AreEqual(const TWarning& other) const {
    const auto* change = AsA<TFileChangeWarning>(other);
    return change && change->Name == Name && change->FilePath == FilePath;
}

bool TAutorunAddWarning::AreEqual(const TWarning& other) const {
    const auto* autorun = AsA<TAutorunAddWarning>(other);
    return autorun && autorun->Name == Name && autorun->Key == Key && autorun->Value == Value &&
           autorun->RegString == RegString && autorun->RootKey == RootKey && autorun->View == View;
}

bool TBrowserSettingWarning::AreEqual(const TWarning& other) const {
    const auto* setting = AsA<TBrowserSettingWarning>(other);
    return setting && setting->Name == Name && setting->Key == Key && setting->Value == Value &&
           setting->OldRegString == OldRegString && setting->NewRegString == NewRegString &&
           setting->RootKey == RootKey && setting->View == View;
}

bool TRegistyWarning::AreEqual(const TWarning& other) const {
    const auto* entry = AsA<TRegistyWarning>(other);
    return entry && entry->Name == Name && entry->Key == Key && entry->Value == Value && entry->RootKey == RootKey &&
           entry->View == View;
}

bool TCookieWarning::AreEqual(const TWarning& other) const {
    const auto* cookie = OfClass<TCookieWarning>(other);
    return cookie && cookie->Name == Name;
}

bool TFolderWarning::AreEqual(const TWarning& other) const {
    const auto* folder = AsA<TFolderWarning>(other);
    return folder && folder->Name == Name && folder->FolderPath == FolderPath;
}

}  // namespace sentrel
