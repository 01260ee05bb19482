// A stand-in for the registry editor that takes its time: for "/e <file> <key>" it waits until a
// file named "release" lies beside it (at most a minute), then writes a registry file holding the
// key and ends with 0. Anything else ends with 1.
#include <windows.h>

#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4 || std::string(argv[1]) != "/e") return 1;
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string release(self);
    release.erase(release.find_last_of('\\') + 1);
    release += "release";
    for (int waited = 0; GetFileAttributesA(release.c_str()) == INVALID_FILE_ATTRIBUTES; waited += 50) {
        if (waited >= 60000) return 2;
        Sleep(50);
    }
    std::ofstream out(argv[2], std::ios::binary);
    out << "REGEDIT4\r\n\r\n[" << argv[3] << "]\r\n\"Part\"=\"1\"\r\n";
    out.close();
    return out ? 0 : 3;
}
