#include <gtest/gtest.h>

#ifdef _WIN32
#include "warnings/WindowsRemedies.h"
#endif

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
#ifdef _WIN32
    // As the program does at start-up.
    sentrel::RegisterWindowsRemedies();
#endif
    return RUN_ALL_TESTS();
}
