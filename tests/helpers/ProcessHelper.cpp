// A process for the process tests: loads every library named on its command line, then waits
// (at most a minute) to be found and terminated.
#include <windows.h>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (!LoadLibraryA(argv[i])) return 2;
    }
    Sleep(60000);
    return 0;
}
