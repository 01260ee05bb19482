// The program's signature check with the system's CNG, against signatures made with OpenSSL on
// the maker's side (SignedSample.h), and a signed update applied through it.
#include "database/CngSignatureVerifierWin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "common/Files.h"
#include "config/Options.h"
#include "database/Cipher.h"
#include "database/DataBaseUpdate.h"
#include "database/SignedSample.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <std::size_t N>
Bytes BytesOf(const unsigned char (&array)[N]) {
    return Bytes(array, array + N);
}

TEST(CngSignatureVerifier, ChecksTheMakersSignaturesWithTheBuiltInKey) {
    const auto verifier = CngSignatureVerifier::ForBuiltInKey();
    const Bytes data = BytesOf(test::kSampleData);
    const Bytes signature = BytesOf(test::kSampleSignature);
    EXPECT_TRUE(verifier->Verify(data, signature));

    Bytes changedData = data;
    changedData[3] ^= 1;
    EXPECT_FALSE(verifier->Verify(changedData, signature));
    Bytes changedSignature = signature;
    changedSignature[10] ^= 1;
    EXPECT_FALSE(verifier->Verify(data, changedSignature));
    EXPECT_FALSE(verifier->Verify(data, {}));
    EXPECT_FALSE(verifier->Verify(data, Bytes(72, 0)));
    EXPECT_FALSE(verifier->Verify(BytesOf(test::kUpdate2), signature));  // another file's signature
    EXPECT_TRUE(verifier->Verify(BytesOf(test::kUpdate2), BytesOf(test::kUpdate2Signature)));

    // The same signatures against another key.
    const auto otherKey = PublicKeyFromPem(test::kOtherPublicKeyPem);
    ASSERT_TRUE(otherKey.has_value());
    const CngSignatureVerifier other(*otherKey);
    EXPECT_FALSE(other.Verify(data, signature));
    EXPECT_FALSE(other.Verify(BytesOf(test::kUpdate2), BytesOf(test::kUpdate2Signature)));
}

TEST(CngSignatureVerifier, OnlyASignedUpdateIsApplied) {
    test::TempFolder program;
    const std::string dataBase = program / "database.db";
    WriteFileBytes(dataBase, BytesOf(test::kBaseDataBase));
    TOptions options(kOptionsFileName, program.Path());
    options.WriteInteger("DBNumber", 1);
    TThreatTables tables(std::make_unique<TDataBase>(dataBase, true, std::string(kDataBasePassPhrase)));
    const auto verifier = CngSignatureVerifier::ForBuiltInKey();
    const TDataBaseUpdater updater(dataBase, std::string(kDataBasePassPhrase), options, *verifier);

    test::TempFolder downloads;
    WriteFileBytes(downloads / "update2.dat", BytesOf(test::kUpdate2));
    WriteFileBytes(downloads / "update2.dat.sig", BytesOf(test::kSampleSignature));
    EXPECT_THROW(updater.Apply(downloads / "update2.dat", tables), UpdateSignatureError);
    RemoveFile(downloads / "update2.dat.sig");
    EXPECT_THROW(updater.Apply(downloads / "update2.dat", tables), UpdateSignatureError);
    EXPECT_EQ(ReadFileBytes(dataBase), BytesOf(test::kBaseDataBase));
    EXPECT_EQ(options.ReadInteger("DBNumber", 0), 1);
    EXPECT_EQ(tables.DataBase().FindTable("Cookies")->RowCount(), 1);

    WriteFileBytes(downloads / "update2.dat.sig", BytesOf(test::kUpdate2Signature));
    const TUpdateResult result = updater.Apply(downloads / "update2.dat", tables);
    EXPECT_TRUE(result.Applied);
    EXPECT_EQ(options.ReadInteger("DBNumber", 0), 2);
    std::string row;
    ASSERT_TRUE(tables.DataBase().GetStringCell("Cookies", "FILES_MASK", 1, row));
    EXPECT_EQ(row, "*ads*");
    EXPECT_EQ(options.ReadInteger("KnownSpywares", 0), 2);
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(program.Path()))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"database.db", "options.ini"}));
}

}  // namespace
}  // namespace sentrel
