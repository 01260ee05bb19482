#include "core/CategoryActions.h"

#include "config/Options.h"
#include "warnings/Warning.h"

namespace sentrel {

namespace {

template <typename Class>
bool IsA(const TWarning& warning) {
    return dynamic_cast<const Class*>(&warning) != nullptr;
}

}  // namespace

std::array<std::string_view, kCategoryActionKeys.size()> CategoryKeysOf(const TWarning& warning) {
    const std::array<bool, kCategoryActionKeys.size()> belongs = {
        IsA<TFileWarning>(warning),           IsA<TAutorunAddWarning>(warning), IsA<TProcessWarning>(warning),
        IsA<TBrowserSettingWarning>(warning), IsA<TRegistyWarning>(warning),    IsA<TCookieWarning>(warning),
        IsA<TFolderWarning>(warning)};
    std::array<std::string_view, kCategoryActionKeys.size()> keys{};
    std::size_t count = 0;
    for (std::size_t i = 0; i < belongs.size(); ++i) {
        if (belongs[i]) keys[count++] = kCategoryActionKeys[i];
    }
    return keys;
}

void SetCategoryAction(const TWarning& warning, int action, TOptions& options) {
    for (std::string_view key : CategoryKeysOf(warning)) {
        if (!key.empty()) options.WriteInteger(key, action);
    }
}

}  // namespace sentrel
