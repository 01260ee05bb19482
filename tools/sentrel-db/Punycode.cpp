#include "Punycode.h"

#include <cstdint>

#include "common/Utf8Text.h"

namespace sentrel::dbtool {

namespace {

// The parameters RFC 3492 fixes for Punycode.
constexpr std::uint32_t kBase = 36;
constexpr std::uint32_t kTMin = 1;
constexpr std::uint32_t kTMax = 26;
constexpr std::uint32_t kSkew = 38;
constexpr std::uint32_t kDamp = 700;
constexpr std::uint32_t kInitialBias = 72;
constexpr char32_t kInitialN = 0x80;
constexpr std::uint64_t kMaxDelta = 0xFFFFFFFFu;

char Digit(std::uint32_t d) {
    return static_cast<char>(d < 26 ? 'a' + d : '0' + (d - 26));
}

std::uint32_t Adapt(std::uint64_t delta, std::uint64_t points, bool first) {
    delta = first ? delta / kDamp : delta / 2;
    delta += delta / points;
    std::uint32_t k = 0;
    while (delta > ((kBase - kTMin) * kTMax) / 2) {
        delta /= kBase - kTMin;
        k += kBase;
    }
    return static_cast<std::uint32_t>(k + (kBase - kTMin + 1) * delta / (delta + kSkew));
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::optional<std::string> PunycodeEncode(std::u32string_view label) {
    std::string out;
    for (const char32_t c : label)
        if (c < kInitialN) out += static_cast<char>(c);
    const std::uint64_t basic = out.size();
    if (basic > 0) out += '-';

    char32_t n = kInitialN;
    std::uint64_t delta = 0;
    std::uint32_t bias = kInitialBias;
    for (std::uint64_t handled = basic; handled < label.size();) {
        char32_t next = U'\U0010FFFF' + 1;
        for (const char32_t c : label)
            if (c >= n && c < next) next = c;
        delta += static_cast<std::uint64_t>(next - n) * (handled + 1);
        if (delta > kMaxDelta) return std::nullopt;
        n = next;
        for (const char32_t c : label) {
            if (c < n && ++delta > kMaxDelta) return std::nullopt;
            if (c != n) continue;
            std::uint64_t q = delta;
            for (std::uint32_t k = kBase;; k += kBase) {
                const std::uint32_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
                if (q < t) break;
                out += Digit(static_cast<std::uint32_t>(t + (q - t) % (kBase - t)));
                q = (q - t) / (kBase - t);
            }
            out += Digit(static_cast<std::uint32_t>(q));
            bias = Adapt(delta, handled + 1, handled == basic);
            delta = 0;
            ++handled;
        }
        ++delta;
        ++n;
    }
    return out;
}

std::optional<std::string> AsciiHostName(std::string_view name) {
    std::string ascii;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = name.find('.', start);
        const std::string_view label = name.substr(start, dot == std::string_view::npos ? name.npos : dot - start);
        if (IsAscii(label)) {
            for (const char c : label) ascii += LowerAscii(c);
        } else {
            std::u32string characters;
            for (std::size_t at = 0; at < label.size();) {
                const char32_t c = NextCodePoint(label, at);
                if (c >= kStrayByteBase) return std::nullopt;
                characters += c < kInitialN ? static_cast<char32_t>(LowerAscii(static_cast<char>(c))) : c;
            }
            const std::optional<std::string> encoded = PunycodeEncode(characters);
            if (!encoded) return std::nullopt;
            ascii += "xn--" + *encoded;
        }
        if (dot == std::string_view::npos) return ascii;
        ascii += '.';
        start = dot + 1;
    }
}

}  // namespace sentrel::dbtool
