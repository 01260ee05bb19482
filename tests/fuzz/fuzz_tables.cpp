// The serialised-tables reader on arbitrary bytes: it may refuse them, never crash, read past
// the end or allocate without bound. What it accepts must save and load back the same.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "database/DataBase.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sentrel::TDataBase database("fuzz.db", false, "fuzz");
    try {
        database.LoadFromStream(std::span(data, size));
    } catch (const sentrel::DataBaseError&) {
        return 0;
    }
    std::vector<std::uint8_t> saved;
    database.SaveToStream(saved);
    sentrel::TDataBase again("fuzz.db", false, "fuzz");
    again.LoadFromStream(saved);
    std::vector<std::uint8_t> savedAgain;
    again.SaveToStream(savedAgain);
    if (saved != savedAgain) std::abort();
    return 0;
}
