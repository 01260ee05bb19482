#include "common/TextCase.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

#include "common/Utf8Text.h"

namespace sentrel {

namespace {

constexpr unsigned char LowerAscii(unsigned char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Folding tables of the Basic Multilingual Plane, one page of 256 characters at a time, made
// when a text first holds a character of that page and kept for the life of the process.
class FoldPages {
public:
    const char16_t* Page(unsigned page) noexcept {
        const char16_t* found = pages_[page].load(std::memory_order_acquire);
        if (found != nullptr) return found;
        const std::lock_guard<std::mutex> lock(mutex_);
        found = pages_[page].load(std::memory_order_relaxed);
        if (found != nullptr) return found;
        auto& made = storage_[page];
        made = std::make_unique<char16_t[]>(256);
        FoldCasePage(page, made.get());
        // Final sigma has one upper-case form with sigma, but not every system's table says so.
        if (page == 0x03 && made[0xC2] == 0x03C2) made[0xC2] = 0x03C3;
        pages_[page].store(made.get(), std::memory_order_release);
        return made.get();
    }

private:
    std::array<std::atomic<const char16_t*>, 256> pages_{};
    std::array<std::unique_ptr<char16_t[]>, 256> storage_;
    std::mutex mutex_;
};

FoldPages& Pages() noexcept {
    static FoldPages pages;
    return pages;
}

}  // namespace

char32_t FoldCase(char32_t c) noexcept {
    if (c < 0x80) return LowerAscii(static_cast<unsigned char>(c));
    if (c > 0xFFFF) return c;
    return Pages().Page(static_cast<unsigned>(c >> 8))[c & 0xFF];
}

int CompareIgnoringCase(std::string_view a, std::string_view b) noexcept {
    std::size_t i = 0;
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (; i < common; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if ((x | y) >= 0x80) break;
        if (x != y) {
            const unsigned char lx = LowerAscii(x);
            const unsigned char ly = LowerAscii(y);
            if (lx != ly) return lx < ly ? -1 : 1;
        }
    }
    // Past the ASCII beginning both texts are at a character boundary: go on by characters.
    std::size_t j = i;
    while (i < a.size() && j < b.size()) {
        const char32_t x = FoldCase(NextCodePoint(a, i));
        const char32_t y = FoldCase(NextCodePoint(b, j));
        if (x != y) return x < y ? -1 : 1;
    }
    if (i == a.size() && j == b.size()) return 0;
    return i == a.size() ? -1 : 1;
}

}  // namespace sentrel
