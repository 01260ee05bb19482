// Construction, texts, fix and the duplicate test of the warning family.
#include "warnings/Warning.h"

#include <stdexcept>
#include <string>

#include "common/DiagnosticLog.h"
#include "common/Files.h"

namespace sentrel {

namespace {

// `other` as a T when its class is T or derives from T; null otherwise.
template <typename T>
const T* AsA(const TWarning& other) {
    return dynamic_cast<const T*>(&other);
}

}  // namespace

void TWarning::MakeTexts() {
    try {
        texts_ = kind_->texts ? kind_->texts(*this) : WarningTexts{};
    } catch (const std::exception&) {
        LogCaught("warning texts");
        texts_ = {};
    }
    textsMade_ = true;
}

std::vector<std::string> TWarning::Fix(TBackuper& backuper, const WarningContext& context) const {
    return FixNow(*this, backuper, context);
}

bool TWarning::AreEqual(const TWarning& other) const {
    return &other.Kind() == kind_ && other.Name == Name;
}

TKeyHookWarning::TKeyHookWarning(std::string name) : TWarning(ShieldWarningKind(kClassName), std::move(name)) {}

TMouseHookWarning::TMouseHookWarning(std::string name) : TWarning(ShieldWarningKind(kClassName), std::move(name)) {}

TProcessWarning::TProcessWarning(std::string name, std::string filePath)
    : TWarning(ShieldWarningKind(kClassName), std::move(name)), FilePath(std::move(filePath)) {}

TFileWarning::TFileWarning(std::string name, std::string filePath)
    : TFileWarning(ShieldWarningKind(kClassName), std::move(name), std::move(filePath)) {}

TFileWarning::TFileWarning(const WarningKind& kind, std::string name, std::string filePath)
    : TWarning(kind, std::move(name)), FilePath(std::move(filePath)) {}

TFileChangeWarning::TFileChangeWarning(std::string name, const std::string& filePath)
    : TFileWarning(ShieldWarningKind(kClassName), std::move(name), FolderPart(filePath)) {}

TAutorunAddWarning::TAutorunAddWarning(RegistryRoot rootKey, std::string name, std::string key, std::string value,
                                       std::string regString, RegistryView view)
    : TAutorunAddWarning(ShieldWarningKind(kClassName), rootKey, std::move(name), std::move(key), std::move(value),
                         std::move(regString), view) {}

TAutorunAddWarning::TAutorunAddWarning(const WarningKind& kind, RegistryRoot rootKey, std::string name,
                                       std::string key, std::string value, std::string regString, RegistryView view)
    : TWarning(kind, std::move(name)),
      Key(std::move(key)),
      Value(std::move(value)),
      RegString(std::move(regString)),
      RootKey(rootKey),
      View(view) {}

TBrowserSettingWarning::TBrowserSettingWarning(RegistryRoot rootKey, const std::string& key, std::string value,
                                               std::string oldRegString, std::string newRegString,
                                               RegistryView view)
    : TAutorunAddWarning(ShieldWarningKind(kClassName), rootKey, key, key, std::move(value), std::string(), view),
      OldRegString(std::move(oldRegString)),
      NewRegString(std::move(newRegString)) {}

TRegistyWarning::TRegistyWarning(RegistryRoot rootKey, std::string name, std::string key, std::string value,
                                 std::string regString, RegistryView view)
    : TAutorunAddWarning(ShieldWarningKind(kClassName), rootKey, std::move(name), std::move(key), std::move(value),
                         std::move(regString), view) {}

TCookieWarning::TCookieWarning(std::string name) : TWarning(ShieldWarningKind(kClassName), std::move(name)) {}

TFolderWarning::TFolderWarning(std::string name, std::string folderPath)
    : TWarning(ShieldWarningKind(kClassName), std::move(name)), FolderPath(std::move(folderPath)) {}

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

bool TFolderWarning::AreEqual(const TWarning& other) const {
    const auto* folder = AsA<TFolderWarning>(other);
    return folder && folder->Name == Name && folder->FolderPath == FolderPath;
}

}  // namespace sentrel
