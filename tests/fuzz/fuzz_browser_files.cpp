// The browser readers on arbitrary bytes (a damaged or hostile profile): the first byte picks the
// reader, the rest is its file. Nothing may crash; the checks:
//  - manifest.json + messages.json (split at the first NUL): reads or gives a reason;
//  - Local State, extensions.json, profiles.ini: read or give a reason;
//  - prefs.js: removing any line found takes exactly its bytes out, and putting it back finds it;
//    removing a preference's value leaves no line of it, and the undo of that gives the text back;
//  - ExtensionSettings: blocking, unblocking and blocking again gives the first block's value.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "browsers/BlockLists.h"
#include "browsers/ChromiumExtensions.h"
#include "browsers/FirefoxPrefs.h"
#include "browsers/FirefoxProfiles.h"

namespace {

using namespace sentrel;

void Manifest(std::string_view input) {
    const std::size_t split = input.find('\0');
    const std::string messages(split == std::string_view::npos ? std::string_view() : input.substr(split + 1));
    const MessagesReader reader = [&](const std::string&) -> std::optional<std::string> { return messages; };
    std::string reason;
    if (!ParseExtensionManifest(input.substr(0, split), reader, reason) && reason.empty()) std::abort();
}

void Prefs(std::string_view text) {
    for (const FirefoxPrefLine& line : ParsePrefLines(text)) {
        const std::optional<std::string> removed = RemovePrefLine(text, line);
        if (!removed || *removed != std::string(text).erase(line.offset, line.line.size())) std::abort();
        const std::string back = PutBackPrefLine(*removed, line);
        if (back.find(line.line) == std::string::npos) std::abort();
    }
    const std::vector<FirefoxPrefLine> lines = ParsePrefLines(text);
    if (lines.empty()) return;
    const auto removal = RemovePrefStatements(text, lines.front().name, lines.front().value);
    if (!removal) std::abort();
    for (const FirefoxPrefLine& left : ParsePrefLines(removal->text))
        if (left.name == lines.front().name && left.value == lines.front().value) std::abort();
    if (UndoPrefRemoval(removal->text, text, removal->text, removal->removed) != text) std::abort();
}

void Settings(std::string_view policy) {
    (void)ExtensionSettingsMode(policy, "spy@example.com");
    const ExtensionSettingsChange blocked = BlockInExtensionSettings(policy, "spy@example.com");
    if (!blocked.ok || !blocked.changed) return;
    const ExtensionSettingsChange undone =
        UnblockInExtensionSettings(blocked.value, "spy@example.com", blocked.previousEntry);
    if (!undone.ok || !undone.changed) std::abort();
    if (BlockInExtensionSettings(undone.value, "spy@example.com").value != blocked.value) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string reason;
    switch (data[0] % 6) {
        case 0: Manifest(input); break;
        case 1: (void)ParseLocalStateProfiles(input, reason); break;
        case 2: (void)ParseExtensionsJson(input, reason); break;
        case 3: (void)ParseProfilesIni(input, "C:\\Users\\user\\AppData\\Roaming\\Mozilla\\Firefox"); break;
        case 4: Prefs(input); break;
        case 5: Settings(input); break;
    }
    return 0;
}
