#include "browsers/BrowserLaunch.h"

#include <array>
#include <vector>

#include "database/Table.h"

namespace sentrel {

namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameNameIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// One argument as written (quotes and all) and as the program receives it.
struct Argument {
    std::string_view written;
    std::string value;
};

// Blanks outside quotes separate the arguments; quotes are dropped from the value. (The rules of
// backslashes before a quote matter for no argument looked at here.)
std::vector<Argument> SplitArguments(std::string_view text) {
    std::vector<Argument> arguments;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
        if (at == text.size()) break;
        const std::size_t start = at;
        std::string value;
        bool quoted = false;
        for (; at < text.size() && (quoted || (text[at] != ' ' && text[at] != '\t')); ++at) {
            if (text[at] == '"') {
                quoted = !quoted;
            } else {
                value += text[at];
            }
        }
        arguments.push_back({text.substr(start, at - start), std::move(value)});
    }
    return arguments;
}

bool IsSwitch(std::string_view value, std::string_view name) {
    // Chromium takes "--name" and "--name=value", and "-name" as well.
    std::string_view rest = value;
    if (rest.starts_with("--")) {
        rest.remove_prefix(2);
    } else if (rest.starts_with('-')) {
        rest.remove_prefix(1);
    } else {
        return false;
    }
    return StartsWithIgnoringCase(rest, name) && (rest.size() == name.size() || rest[name.size()] == '=');
}

bool IsWebAddress(std::string_view value) {
    for (const std::string_view scheme : {"http:", "https:", "ftp:", "file:", "javascript:", "data:", "www."})
        if (StartsWithIgnoringCase(value, scheme)) return true;
    return false;
}

// The switches that only say how to open the page that follows them.
bool IsPageSwitch(std::string_view value) {
    for (const std::string_view name : {"url", "new-tab", "new-window", "app"})
        if (IsSwitch(value, name) && value.find('=') == std::string_view::npos) return true;
    return false;
}

BrowserLaunchConcerns ConcernsOf(const Argument& argument) {
    BrowserLaunchConcerns concerns;
    concerns.loadsExtension = IsSwitch(argument.value, "load-extension");
    concerns.remoteControl = IsSwitch(argument.value, "remote-debugging-port") ||
                             IsSwitch(argument.value, "remote-debugging-pipe");
    const std::size_t equals = argument.value.find('=');
    concerns.opensPage = IsWebAddress(argument.value) ||
                         ((IsSwitch(argument.value, "app") || IsSwitch(argument.value, "url")) &&
                          equals != std::string::npos && IsWebAddress(std::string_view(argument.value).substr(equals + 1)));
    return concerns;
}

}  // namespace

bool IsBrowserProgram(std::string_view fileName) {
    constexpr std::array<std::string_view, 8> kBrowsers = {"chrome.exe",  "msedge.exe",  "brave.exe",
                                                           "firefox.exe", "opera.exe",   "vivaldi.exe",
                                                           "chromium.exe", "iexplore.exe"};
    for (const std::string_view browser : kBrowsers)
        if (SameNameIgnoringCase(fileName, browser)) return true;
    return false;
}

BrowserLaunchConcerns BrowserLaunchConcerns::Beyond(const BrowserLaunchConcerns& other) const {
    return {loadsExtension && !other.loadsExtension, remoteControl && !other.remoteControl,
            opensPage && !other.opensPage};
}

BrowserLaunchConcerns LaunchConcernsOf(std::string_view arguments) {
    BrowserLaunchConcerns all;
    for (const Argument& argument : SplitArguments(arguments)) {
        const BrowserLaunchConcerns one = ConcernsOf(argument);
        all.loadsExtension |= one.loadsExtension;
        all.remoteControl |= one.remoteControl;
        all.opensPage |= one.opensPage;
    }
    return all;
}

std::string ArgumentsWithoutConcerns(std::string_view arguments) {
    const std::vector<Argument> split = SplitArguments(arguments);
    std::vector<bool> dropped(split.size(), false);
    for (std::size_t i = 0; i < split.size(); ++i) {
        if (!ConcernsOf(split[i]).Any()) continue;
        dropped[i] = true;
        if (i > 0 && IsPageSwitch(split[i - 1].value)) dropped[i - 1] = true;
    }
    std::string kept;
    for (std::size_t i = 0; i < split.size(); ++i) {
        if (dropped[i]) continue;
        if (!kept.empty()) kept += ' ';
        kept += split[i].written;
    }
    return kept;
}

std::string LaunchConcernsText(const BrowserLaunchConcerns& concerns) {
    std::vector<std::string_view> parts;
    if (concerns.loadsExtension) parts.push_back("loads an extension from a folder");
    if (concerns.remoteControl) parts.push_back("opens itself to remote control by other programs");
    if (concerns.opensPage) parts.push_back("opens a web page");
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += i + 1 == parts.size() ? " and " : ", ";
        text += parts[i];
    }
    return text;
}

}  // namespace sentrel
