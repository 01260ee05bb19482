// Writes the seed corpus of the fuzz targets from a database file: the file itself (the whole
// load pipeline), its decrypted archive, and its serialised tables.
//   make_fuzz_seeds DATABASE.db CORPUS_DIR
#include <cstdio>
#include <string>
#include <vector>

#include "common/Files.h"
#include "database/Archive.h"
#include "database/Cipher.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_fuzz_seeds DATABASE.db CORPUS_DIR\n");
        return 2;
    }
    using namespace sentrel;
    try {
        const std::string corpus = argv[2];
        const std::vector<std::uint8_t> file = ReadFileBytes(argv[1]);
        std::vector<std::uint8_t> archive = file;
        TCipher(kDataBasePassPhrase).Decrypt(archive);
        const auto tables = InflateRecord(ReadArchiveRecords(archive).front());
        for (const char* target : {"fuzz_database_file", "fuzz_archive", "fuzz_tables"})
            CreateFolders(JoinPath(corpus, target));
        WriteFileBytes(JoinPath(JoinPath(corpus, "fuzz_database_file"), "shipped.db"), file);
        WriteFileBytes(JoinPath(JoinPath(corpus, "fuzz_archive"), "shipped.archive"), archive);
        WriteFileBytes(JoinPath(JoinPath(corpus, "fuzz_tables"), "shipped.tables"), tables);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_fuzz_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
