// A library for the process tests to load into a helper process. Its content does not matter;
// the exported function keeps the linker from producing an empty image.
#include <windows.h>

extern "C" __declspec(dllexport) int SentrelTestLibraryMarker() {
    return 4;
}
