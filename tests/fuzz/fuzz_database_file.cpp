// The whole load pipeline on the raw bytes of a would-be database.db: decrypt, unpack the
// one-file archive, parse the tables. In memory, with the same components the file load uses.
#include <cstdint>
#include <span>
#include <vector>

#include "database/Archive.h"
#include "database/Cipher.h"
#include "database/DataBase.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const sentrel::TCipher cipher(sentrel::kDataBasePassPhrase);
    std::vector<std::uint8_t> plain(data, data + size);
    cipher.Decrypt(plain);
    try {
        const auto records = sentrel::ReadArchiveRecords(plain);
        if (records.empty()) return 0;
        const auto tables = sentrel::InflateRecord(records.front());
        sentrel::TDataBase database("fuzz.db", false, std::string(sentrel::kDataBasePassPhrase));
        database.LoadFromStream(tables);
    } catch (const sentrel::DataBaseError&) {
    }
    return 0;
}
