// Writes the seed corpus of the fuzz targets from a database file: the file itself (the whole
// load pipeline), its decrypted archive, and its serialised tables; and a patch as the maker's
// tool writes it (with the digests of both databases) against the old bytes fuzz_patch uses.
//   make_fuzz_seeds DATABASE.db CORPUS_DIR
#include <cstdio>
#include <string>
#include <vector>

#include "common/Files.h"
#include "database/Archive.h"
#include "database/Cipher.h"
#include "database/Patch.h"

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
        for (const char* target : {"fuzz_database_file", "fuzz_archive", "fuzz_tables", "fuzz_patch"})
            CreateFolders(JoinPath(corpus, target));
        WriteFileBytes(JoinPath(JoinPath(corpus, "fuzz_database_file"), "shipped.db"), file);
        WriteFileBytes(JoinPath(JoinPath(corpus, "fuzz_archive"), "shipped.archive"), archive);
        WriteFileBytes(JoinPath(JoinPath(corpus, "fuzz_tables"), "shipped.tables"), tables);
        // fuzz_patch's old database: 5000 bytes, byte i = i * 31 + 7. The new one changes a run,
        // drops one and adds bytes, so the patch holds copies and adds.
        std::vector<std::uint8_t> old(5000);
        for (std::size_t i = 0; i < old.size(); ++i) old[i] = static_cast<std::uint8_t>(i * 31 + 7);
        std::vector<std::uint8_t> next(old.begin(), old.begin() + 3000);
        next.insert(next.end(), 40, 'x');
        next.insert(next.end(), old.begin() + 3500, old.end());
        WriteFileBytes(JoinPath(JoinPath(corpus, "fuzz_patch"), "with_digests.patch"), MakePatch(58, old, next));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_fuzz_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
