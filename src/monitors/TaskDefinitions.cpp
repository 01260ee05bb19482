#include "monitors/TaskDefinitions.h"

#include <optional>
#include <string>

#include "common/Utf8Text.h"

namespace sentrel {

namespace {

constexpr std::size_t kMaxDefinition = 1024 * 1024;
constexpr std::size_t kMaxActions = 32;  // the Task Scheduler allows 32

// The text between <name ...> and </name> from `at` on, and where it ends; an empty element
// (<name/>) has none. Nothing when no such element begins before `end`, or it does not end.
struct Element {
    std::string_view inner;
    std::size_t after = 0;
};
std::optional<Element> NextElement(std::string_view xml, std::string_view name, std::size_t at, std::size_t end) {
    const std::string open = "<" + std::string(name);
    for (std::size_t start = xml.find(open, at); start != std::string_view::npos && start < end;
         start = xml.find(open, start + 1)) {
        const std::size_t next = start + open.size();
        if (next >= xml.size()) return std::nullopt;
        const char c = xml[next];
        if (c != '>' && c != '/' && c != ' ' && c != '\t' && c != '\r' && c != '\n') continue;  // <ExecX>
        const std::size_t close = xml.find('>', next);
        if (close == std::string_view::npos) return std::nullopt;
        if (xml[close - 1] == '/') return Element{{}, close + 1};
        const std::string closing = "</" + std::string(name) + ">";
        const std::size_t finish = xml.find(closing, close + 1);
        if (finish == std::string_view::npos) return std::nullopt;
        return Element{xml.substr(close + 1, finish - close - 1), finish + closing.size()};
    }
    return std::nullopt;
}

// A character reference's code point as UTF-8; one no character has becomes U+FFFD.
void AppendCodePoint(std::string& out, unsigned long code) {
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    AppendUtf8(out, static_cast<char32_t>(code));
}

// An element's text with the XML entities decoded and the blanks around it dropped (the Task
// Scheduler writes none there); an unknown entity is kept as written.
std::string TextOf(std::string_view inner) {
    while (!inner.empty() && (inner.front() == ' ' || inner.front() == '\r' || inner.front() == '\n' || inner.front() == '\t'))
        inner.remove_prefix(1);
    while (!inner.empty() && (inner.back() == ' ' || inner.back() == '\r' || inner.back() == '\n' || inner.back() == '\t'))
        inner.remove_suffix(1);
    std::string text;
    for (std::size_t i = 0; i < inner.size(); ++i) {
        const std::size_t semicolon = inner[i] == '&' ? inner.find(';', i) : std::string_view::npos;
        if (semicolon == std::string_view::npos || semicolon - i > 10) {
            text += inner[i];
            continue;
        }
        const std::string_view entity = inner.substr(i + 1, semicolon - i - 1);
        if (entity == "amp") text += '&';
        else if (entity == "lt") text += '<';
        else if (entity == "gt") text += '>';
        else if (entity == "quot") text += '"';
        else if (entity == "apos") text += '\'';
        else if (entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x' || entity[1] == 'X';
            const std::string digits(entity.substr(hex ? 2 : 1));
            if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos) {
                text += inner[i];
                continue;
            }
            AppendCodePoint(text, std::stoul(digits, nullptr, hex ? 16 : 10));
        } else {
            text += inner[i];
            continue;
        }
        i = semicolon;
    }
    return text;
}

}  // namespace

std::string TaskDefinitionText(std::string_view bytes) {
    if (bytes.starts_with(kUtf16LeByteOrderMark)) return Utf8FromUtf16Le(bytes.substr(2));
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    return std::string(bytes);
}

std::vector<TaskAction> TaskDefinitionExecActions(std::string_view xml) {
    xml = xml.substr(0, kMaxDefinition);
    std::vector<TaskAction> actions;
    const std::optional<Element> all = NextElement(xml, "Actions", 0, xml.size());
    if (!all) return actions;
    std::size_t at = 0;
    while (actions.size() < kMaxActions) {
        const std::optional<Element> exec = NextElement(all->inner, "Exec", at, all->inner.size());
        if (!exec) break;
        at = exec->after;
        TaskAction action;
        const auto field = [&](std::string_view name) {
            const std::optional<Element> found = NextElement(exec->inner, name, 0, exec->inner.size());
            return found ? TextOf(found->inner) : std::string();
        };
        action.program = field("Command");
        action.arguments = field("Arguments");
        action.folder = field("WorkingDirectory");
        actions.push_back(std::move(action));
    }
    return actions;
}

}  // namespace sentrel
