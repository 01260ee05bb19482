#include "warnings/AutostartEntryData.h"

#include <stdexcept>

#include "database/Table.h"
#include "warnings/RegistryFile.h"

namespace sentrel {

namespace {

constexpr std::string_view kShortcutMark = "shortcut:";
constexpr std::string_view kActionsMark = "actions:";

// `mark` and the hex of the texts, each ended by a zero byte.
std::string TextsRaw(std::string_view mark, const std::vector<std::string>& texts) {
    std::string bytes;
    for (const std::string& text : texts) bytes += text + '\0';
    return std::string(mark) + HexFromBytes(bytes);
}

// The texts of a raw part that begins with `mark`; nothing for another, or one whose texts do not
// come in groups of `group`.
std::optional<std::vector<std::string>> TextsOfRaw(std::string_view raw, std::string_view mark, std::size_t group) {
    if (!raw.starts_with(mark)) return std::nullopt;
    const std::optional<std::string> bytes = BytesFromHex(raw.substr(mark.size()));
    if (!bytes || (!bytes->empty() && bytes->back() != '\0')) return std::nullopt;
    std::vector<std::string> texts;
    std::string_view rest = *bytes;
    for (std::size_t end; (end = rest.find('\0')) != std::string_view::npos; rest.remove_prefix(end + 1))
        texts.emplace_back(rest.substr(0, end));
    if (texts.size() % group != 0) return std::nullopt;
    return texts;
}

}  // namespace

std::string ServiceEntryRaw(const ServiceEntryParts& parts) {
    return std::to_string(parts.startType) + '\t' + parts.displayName + '\t' + parts.serviceDll;
}

ServiceEntryParts ServiceEntryPartsOf(std::string_view raw) {
    ServiceEntryParts parts;
    const std::size_t first = raw.find('\t');
    const std::size_t second = first == std::string_view::npos ? std::string_view::npos : raw.find('\t', first + 1);
    if (second == std::string_view::npos) return parts;
    try {
        parts.startType = static_cast<unsigned>(std::stoul(std::string(raw.substr(0, first))));
    } catch (const std::exception&) {
    }
    parts.displayName = std::string(raw.substr(first + 1, second - first - 1));
    parts.serviceDll = std::string(raw.substr(second + 1));
    return parts;
}

std::string ShortcutRaw(const ShortcutLink& link) {
    return TextsRaw(kShortcutMark, {link.target, link.arguments});
}

std::optional<ShortcutLink> ShortcutOfRaw(std::string_view raw) {
    const auto texts = TextsOfRaw(raw, kShortcutMark, 2);
    if (!texts || texts->size() != 2) return std::nullopt;
    return ShortcutLink{(*texts)[0], (*texts)[1]};
}

std::string TaskActionsRaw(const std::vector<TaskAction>& actions) {
    std::vector<std::string> texts;
    for (const TaskAction& action : actions)
        texts.insert(texts.end(), {action.program, action.arguments, action.folder});
    return TextsRaw(kActionsMark, texts);
}

std::optional<std::vector<TaskAction>> TaskActionsOfRaw(std::string_view raw) {
    const auto texts = TextsOfRaw(raw, kActionsMark, 3);
    if (!texts) return std::nullopt;
    std::vector<TaskAction> actions;
    for (std::size_t i = 0; i < texts->size(); i += 3)
        actions.push_back({(*texts)[i], (*texts)[i + 1], (*texts)[i + 2]});
    return actions;
}

std::string KeptObject::Text(std::string_view name) const {
    for (const KeptProperty& property : properties)
        if (SameNameIgnoringCase(property.name, name)) return property.value;
    return {};
}

// Four texts per object ("@" and its role, its class, its path, "") and per property (its kind and
// CIM type, its name, its value, "").
std::string KeptObjectsRaw(std::string_view mark, const std::vector<KeptObject>& objects) {
    std::vector<std::string> texts;
    for (const KeptObject& object : objects) {
        texts.insert(texts.end(), {"@" + object.role, object.className, object.path, ""});
        for (const KeptProperty& property : object.properties)
            texts.insert(texts.end(),
                         {std::string(1, property.kind) + std::to_string(property.cimType), property.name,
                          property.value, ""});
    }
    return TextsRaw(mark, texts);
}

std::optional<std::vector<KeptObject>> KeptObjectsOfRaw(std::string_view raw, std::string_view mark) {
    const auto texts = TextsOfRaw(raw, mark, 4);
    if (!texts) return std::nullopt;
    std::vector<KeptObject> objects;
    for (std::size_t i = 0; i < texts->size(); i += 4) {
        const std::string& head = (*texts)[i];
        if (head.starts_with('@')) {
            objects.push_back({head.substr(1), (*texts)[i + 1], (*texts)[i + 2], {}});
            continue;
        }
        if (objects.empty() || head.empty() || (head[0] != 's' && head[0] != 'i' && head[0] != 'b'))
            return std::nullopt;
        KeptProperty property{head[0], 0, (*texts)[i + 1], (*texts)[i + 2]};
        try {
            property.cimType = head.size() > 1 ? std::stol(head.substr(1)) : 0;
        } catch (const std::exception&) {
            return std::nullopt;
        }
        objects.back().properties.push_back(std::move(property));
    }
    return objects;
}

const KeptObject* FindKeptObject(const std::vector<KeptObject>& objects, std::string_view role) {
    for (const KeptObject& object : objects)
        if (object.role == role) return &object;
    return nullptr;
}

}  // namespace sentrel
