#include "browsers/JsonText.h"

#include <exception>

namespace sentrel {
namespace {

struct LimitExceeded {
    std::string reason;
};

std::string_view WithoutByteOrderMark(std::string_view text) {
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    return text.substr(0, kMark.size()) == kMark ? text.substr(kMark.size()) : text;
}

template <class Json>
std::optional<Json> Parse(std::string_view text, std::string& reason, JsonLimits limits) {
    std::size_t values = 0;
    const auto check = [&](int depth, nlohmann::json::parse_event_t, Json&) {
        if (depth > limits.maxDepth) {
            throw LimitExceeded{"nests deeper than " + std::to_string(limits.maxDepth) + " levels"};
        }
        if (++values > limits.maxValues) {
            throw LimitExceeded{"holds more than " + std::to_string(limits.maxValues) + " values"};
        }
        return true;
    };
    try {
        return Json::parse(WithoutByteOrderMark(text), check);
    } catch (const LimitExceeded& exceeded) {
        reason = exceeded.reason;
    } catch (const nlohmann::json::parse_error& error) {
        // Its message quotes the bytes read, which may be anything: the place is enough.
        reason = "is not JSON (stops at byte " + std::to_string(error.byte) + ")";
    } catch (const std::exception&) {
        reason = "is not JSON";
    }
    return std::nullopt;
}

}  // namespace

std::optional<nlohmann::json> ParseJson(std::string_view text, std::string& reason, JsonLimits limits) {
    return Parse<nlohmann::json>(text, reason, limits);
}

std::optional<nlohmann::ordered_json> ParseOrderedJson(std::string_view text, std::string& reason, JsonLimits limits) {
    return Parse<nlohmann::ordered_json>(text, reason, limits);
}

}  // namespace sentrel
