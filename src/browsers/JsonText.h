#pragma once
// JSON through nlohmann-json for the browser readers, with its exceptions stopped here: a text
// that is not JSON, or nests deeper or holds more values than the limits, gives nothing and a
// reason. Only the readers' sources include this header (it brings in the whole library).

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace sentrel {

struct JsonLimits {
    // Browsers nest a few levels; a deeper text is hostile, and the tree's printer recurses.
    int maxDepth = 64;
    // Objects keep their order in an ordered_json tree by a linear search per key, so a value
    // with many members costs their square: limit them where such a tree is built.
    std::size_t maxValues = std::numeric_limits<std::size_t>::max();
};

std::optional<nlohmann::json> ParseJson(std::string_view text, std::string& reason, JsonLimits limits = {});
std::optional<nlohmann::ordered_json> ParseOrderedJson(std::string_view text, std::string& reason,
                                                       JsonLimits limits = {});

// The member `key` of an object when it is a string; empty otherwise.
template <class Json>
std::string StringMember(const Json& object, const char* key) {
    if (!object.is_object()) return {};
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->template get<std::string>() : std::string();
}

// The member `key` of an object when it is an object; nullptr otherwise.
template <class Json>
const Json* ObjectMember(const Json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    const auto found = object.find(key);
    return found != object.end() && found->is_object() ? &*found : nullptr;
}

}  // namespace sentrel
