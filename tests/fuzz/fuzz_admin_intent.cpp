// What the administrator part reads: its command line (arguments parted by NUL bytes here), the
// saved key trees of its store and the answers the shield reads back. What is read is read the
// same again from the text it is written to.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "warnings/AdminIntent.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sentrel;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    std::vector<std::string> arguments;
    for (std::string_view rest = bytes;;) {
        const std::size_t end = rest.find('\0');
        arguments.emplace_back(rest.substr(0, end));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    if (const std::optional<AdminRequest> request = ParseAdminArguments(arguments)) {
        const std::optional<AdminRequest> again = ParseAdminArguments(AdminArguments(*request));
        if (!again || again->undo != request->undo || again->ticket != request->ticket ||
            again->target != request->target || again->point != request->point || again->view != request->view ||
            again->item != request->item || again->digest != request->digest || again->change != request->change)
            std::abort();
    }

    if (const auto tree = ParseSavedRegistryText(bytes)) {
        if (ParseSavedRegistryText(SavedRegistryText(*tree)) != tree) std::abort();
    }
    if (const auto answer = ParseAdminAnswer(bytes)) {
        const auto again = ParseAdminAnswer(AdminAnswerText(*answer));
        if (!again || again->message != answer->message || again->change != answer->change ||
            again->outcome != answer->outcome)
            std::abort();
    }
    return 0;
}
