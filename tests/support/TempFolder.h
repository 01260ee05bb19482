#pragma once
// A fresh, empty folder for one test, removed with everything in it when the test ends.

#include <string>

namespace sentrel::test {

class TempFolder {
public:
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    // The folder, with a trailing separator (as the program folder has).
    const std::string& Path() const { return path_; }
    // The folder joined with a name.
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// Writes a file whole (test set-up; throws on failure).
void WriteTextFile(const std::string& path, const std::string& text);

}  // namespace sentrel::test
