// Rewrites one of the program's files in a loop, alternating between two versions, until it is
// ended from outside: FileWriter.exe INDEX FOLDER MARKER (INDEX into RewrittenFiles()). It
// creates the file MARKER once its loop has begun.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/Files.h"
#include "support/RewrittenFiles.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const auto& files = sentrel::test::RewrittenFiles();
    const auto index = static_cast<std::size_t>(std::atoi(argv[1]));
    if (index >= files.size()) return 2;
    const std::string folder = argv[2];
    const auto write = files[index].writer(folder);
    write(0);
    if (std::FILE* started = std::fopen(argv[3], "wb")) std::fclose(started);
    for (int i = 1;; ++i) write(i);
}
