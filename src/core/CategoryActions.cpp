#include "core/CategoryActions.h"

#include "config/Options.h"
#include "warnings/Warning.h"

namespace sentrel {

std::array<std::string_view, kCategoryActionKeys.size()> CategoryKeysOf(const TWarning& warning) {
    std::array<std::string_view, kCategoryActionKeys.size()> keys{};
    std::size_t count = 0;
    for (std::string_view key : kCategoryActionKeys) {
        if (warning.Kind().InCategory(key)) keys[count++] = key;
    }
    return keys;
}

void SetCategoryAction(const TWarning& warning, int action, TOptions& options) {
    for (std::string_view key : CategoryKeysOf(warning)) {
        if (!key.empty()) options.WriteInteger(key, action);
    }
}

}  // namespace sentrel
