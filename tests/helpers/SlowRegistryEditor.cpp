// A registry editor that takes its time: "/e <file> <key>" waits (at most a minute) for a file
// "release" beside it, then exports a registry file holding the key; "/s <file>" waits for
// "release-import", then makes the current user's key the file names.
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

bool WaitFor(const std::string& name) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string path = std::string(self).substr(0, std::string(self).find_last_of('\\') + 1) + name;
    for (int waited = 0; GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES; waited += 50) {
        if (waited >= 60000) return false;
        Sleep(50);
    }
    return true;
}

int Import(const char* file) {
    if (!WaitFor("release-import")) return 2;
    std::stringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    constexpr std::string_view kRoot = "[HKEY_CURRENT_USER\\";
    const std::string all = text.str();
    const std::size_t start = all.find(kRoot);
    const std::size_t end = all.find(']', start);
    if (start == std::string::npos || end == std::string::npos) return 3;
    const std::string key = all.substr(start + kRoot.size(), end - start - kRoot.size());
    HKEY made = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &made, nullptr) != 0)
        return 4;
    RegCloseKey(made);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "/s") return Import(argv[2]);
    if (argc != 4) return 1;
    if (!WaitFor("release")) return 2;
    std::ofstream(argv[2], std::ios::binary) << "REGEDIT4\r\n\r\n[" << argv[3] << "]\r\n";
    return 0;
}
