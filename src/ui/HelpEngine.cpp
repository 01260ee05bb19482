#include "ui/HelpEngine.h"

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "platform/WideText.h"

namespace sentrel::ui {

namespace {
// The engine's commands (htmlhelp.h).
constexpr UINT kDisplayTopic = 0x0000;
constexpr UINT kCloseAll = 0x0012;
}  // namespace

HelpEngine::~HelpEngine() {
    if (library_) FreeLibrary(library_);
}

std::optional<std::string> HelpEngine::FindLibrary() {
    try {
        const auto key = platform::RegistryKey::Open(HKEY_CLASSES_ROOT, kHtmlHelpServerKey);
        if (!key) return std::nullopt;
        const auto value = key->ReadString("");
        if (!value || value->empty()) return std::nullopt;
        std::string path = platform::ExpandEnvironmentNames(*value);
        if (!FileExists(path)) return std::nullopt;
        return path;
    } catch (const std::exception&) {
        LogCaught("help engine lookup");
        // A value of another type names no library.
        return std::nullopt;
    }
}

bool HelpEngine::Load() {
    if (Loaded()) return true;
    const auto path = FindLibrary();
    if (!path) return false;
    library_ = LoadLibraryA(path->c_str());
    if (!library_) return false;
    htmlHelp_ = reinterpret_cast<HtmlHelpFunction>(reinterpret_cast<void*>(GetProcAddress(library_, "HtmlHelpW")));
    if (!htmlHelp_) {
        FreeLibrary(library_);
        library_ = nullptr;
    }
    return Loaded();
}

HWND HelpEngine::DisplayTopic(HWND owner, const std::string& address) const {
    if (!htmlHelp_) return nullptr;
    // The wide entry: the help file may lie in a folder whose name no ANSI code page holds.
    return htmlHelp_(owner, platform::WideFromUtf8(address).c_str(), kDisplayTopic, 0);
}

void HelpEngine::CloseAll() const {
    if (htmlHelp_) htmlHelp_(nullptr, nullptr, kCloseAll, 0);
}

}  // namespace sentrel::ui
