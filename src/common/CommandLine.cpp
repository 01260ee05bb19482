#include "common/CommandLine.h"

#include <algorithm>

namespace sentrel {

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::string_view TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

CommandParts SplitCommand(std::string_view command) {
    command = TrimBlanks(command);
    std::size_t end = 0;
    CommandParts parts;
    if (command.starts_with('"')) {
        const std::size_t close = command.find('"', 1);
        parts.program = std::string(command.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        end = close == std::string_view::npos ? command.size() : close + 1;
    } else if (const std::string_view first = command.substr(0, command.find(' ')); first.find('\\') == std::string_view::npos) {
        // A bare name ("regsvr32 /s x.dll"): the system finds it on its path.
        parts.program = std::string(first);
        end = first.size();
    } else {
        const std::string lower = LowerAscii(command);
        end = std::string::npos;
        for (const std::string_view extension : {".exe", ".dll", ".com", ".bat", ".cmd", ".scr", ".vbs"}) {
            for (std::size_t at = lower.find(extension); at != std::string::npos; at = lower.find(extension, at + 1)) {
                const std::size_t after = at + extension.size();
                if (after == lower.size() || lower[after] == ' ' || lower[after] == ',' || lower[after] == '"') {
                    end = std::min(end, after);
                    break;
                }
            }
        }
        if (end == std::string::npos) end = std::min(command.find(' '), command.size());
        parts.program = std::string(command.substr(0, end));
    }
    parts.arguments = std::string(TrimBlanks(command.substr(end)));
    return parts;
}

std::vector<std::string> CommandArguments(std::string_view arguments) {
    std::vector<std::string> list;
    std::size_t i = 0;
    while (i < arguments.size()) {
        while (i < arguments.size() && (arguments[i] == ' ' || arguments[i] == '\t')) ++i;
        if (i == arguments.size()) break;
        std::string argument;
        bool quoted = false;
        while (i < arguments.size() && (quoted || (arguments[i] != ' ' && arguments[i] != '\t'))) {
            std::size_t slashes = 0;
            while (i < arguments.size() && arguments[i] == '\\') {
                ++slashes;
                ++i;
            }
            if (i < arguments.size() && arguments[i] == '"') {
                argument.append(slashes / 2, '\\');
                if (slashes % 2 == 1) {
                    argument += '"';
                } else if (quoted && i + 1 < arguments.size() && arguments[i + 1] == '"') {
                    argument += '"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
                continue;
            }
            argument.append(slashes, '\\');
            if (i < arguments.size() && (quoted || (arguments[i] != ' ' && arguments[i] != '\t'))) argument += arguments[i++];
        }
        list.push_back(std::move(argument));
    }
    return list;
}

}  // namespace sentrel
