#include "support/TempFolder.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "common/Files.h"

namespace sentrel::test {

TempFolder::TempFolder() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("sentrel-test-" + std::to_string(stamp) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(path);
    path_ = path.string();
    if (path_.back() != kPathSeparator) path_ += kPathSeparator;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace sentrel::test
