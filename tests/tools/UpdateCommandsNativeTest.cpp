// The maker's update commands of sentrel-db, run as the built program, and the OpenSSL side of
// update signatures against the key built into the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "common/Files.h"
#include "database/Sha256.h"
#include "database/UpdateFiles.h"
#include "database/UpdateSignature.h"
#include "sentrel-db/Signing.h"
#include "support/TempFolder.h"
#include "support/ToolRunner.h"

namespace sentrel {
namespace {

using test::RunResult;
using test::RunTool;

const std::string kTestPrivateKey = std::string(SENTREL_KEYS_FOLDER) + "/test_update_private.pem";

TEST(UpdateCommands, DiffSignApplyAndInfoAsTheMakerPublishes) {
    test::TempFolder folder;
    ASSERT_EQ(RunTool({"generate", "20000", folder / "old.db"}).ExitCode, 0);
    // The new database: one table grows by a row.
    const std::string tables = folder / "tables";
    ASSERT_EQ(RunTool({"dump", folder / "old.db", tables}).ExitCode, 0);
    std::string cookies = ReadFileText(tables + "/Cookies.csv");
    const std::string header = cookies.substr(0, cookies.find('\n'));
    cookies += "*@*newtracker*" + std::string(std::count(header.begin(), header.end(), ','), ',') + "\r\n";
    test::WriteTextFile(tables + "/Cookies.csv", cookies);
    ASSERT_EQ(RunTool({"build", tables, folder / "new.db"}).ExitCode, 0);

    const RunResult diff = RunTool({"diff", folder / "old.db", folder / "new.db", "58", folder / "update58.dat"});
    ASSERT_EQ(diff.ExitCode, 0) << diff.Err;
    EXPECT_NE(diff.Out.find("update number 58, " + std::to_string(FileSize(folder / "update58.dat")) + " bytes"),
              std::string::npos)
        << diff.Out;
    EXPECT_NE(diff.Out.find(std::to_string(FileSize(folder / "new.db")) + " bytes"), std::string::npos) << diff.Out;
    EXPECT_LT(FileSize(folder / "update58.dat") * 20, FileSize(folder / "new.db"));

    // Unsigned: the program's check refuses it.
    RunResult apply = RunTool({"apply", folder / "old.db", "57", folder / "update58.dat", folder / "out.db"});
    EXPECT_EQ(apply.ExitCode, 1);
    EXPECT_NE(apply.Err.find("is not signed"), std::string::npos) << apply.Err;
    EXPECT_FALSE(FileExists(folder / "out.db"));

    ASSERT_EQ(RunTool({"sign", kTestPrivateKey, folder / "update58.dat"}).ExitCode, 0);
    const std::string publicKey = std::string(SENTREL_KEYS_FOLDER) + "/update_public.pem";
    const RunResult verify = RunTool({"verify", publicKey, folder / "update58.dat"});
    EXPECT_EQ(verify.ExitCode, 0) << verify.Err;
    EXPECT_NE(verify.Out.find("good signature"), std::string::npos);
    // The signed part names both databases by the SHA-256 of their unpacked bytes.
    const std::string hashes = "old database SHA-256: " + Sha256Hex(Sha256Of(test::Unpacked(folder / "old.db"))) +
                               "\nnew database SHA-256: " + Sha256Hex(Sha256Of(test::Unpacked(folder / "new.db")));
    EXPECT_NE(verify.Out.find(hashes), std::string::npos) << verify.Out;

    apply = RunTool({"apply", folder / "old.db", "57", folder / "update58.dat", folder / "out.db"});
    ASSERT_EQ(apply.ExitCode, 0) << apply.Err;
    EXPECT_NE(apply.Out.find("database number 57 updated to 58"), std::string::npos) << apply.Out;
    EXPECT_EQ(test::Unpacked(folder / "out.db"), test::Unpacked(folder / "new.db"));

    // As database 58 it is the latest; as 56 it is not the next one.
    apply = RunTool({"apply", folder / "old.db", "58", folder / "update58.dat", folder / "out2.db"});
    EXPECT_EQ(apply.ExitCode, 1);
    EXPECT_NE(apply.Err.find("You have the latest update"), std::string::npos) << apply.Err;
    apply = RunTool({"apply", folder / "old.db", "56", folder / "update58.dat", folder / "out2.db"});
    EXPECT_EQ(apply.ExitCode, 1);
    EXPECT_NE(apply.Err.find("Can't update database with number 56 with update number 58"), std::string::npos);
    EXPECT_FALSE(FileExists(folder / "out2.db"));

    const RunResult info = RunTool({"info", folder / "update58.dat"});
    ASSERT_EQ(info.ExitCode, 0) << info.Err;
    EXPECT_NE(info.Out.find("update number 58"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("new database: " + std::to_string(test::Unpacked(folder / "new.db").size())),
              std::string::npos)
        << info.Out;
    EXPECT_NE(info.Out.find("signature: present"), std::string::npos);
    EXPECT_NE(info.Out.find(hashes), std::string::npos) << info.Out;

    // Another database that claims number 57 does not take it.
    apply = RunTool({"apply", folder / "new.db", "57", folder / "update58.dat", folder / "other.db"});
    EXPECT_EQ(apply.ExitCode, 1);
    EXPECT_NE(apply.Err.find("with update number 58: the update was made for another database"), std::string::npos)
        << apply.Err;
    EXPECT_FALSE(FileExists(folder / "other.db"));

    // An update of an older tool, signed all the same: it names no databases and is refused.
    test::WritePackedPatch(folder / "old58.dat", test::WithoutDataBaseHashes(test::Unpacked(folder / "update58.dat")));
    ASSERT_EQ(RunTool({"sign", kTestPrivateKey, folder / "old58.dat"}).ExitCode, 0);
    EXPECT_NE(RunTool({"info", folder / "old58.dat"}).Out.find("databases: none named"), std::string::npos);
    const RunResult verifyOld = RunTool({"verify", publicKey, folder / "old58.dat"});
    EXPECT_EQ(verifyOld.ExitCode, 1);
    EXPECT_NE(verifyOld.Err.find("does not name the database it was made for"), std::string::npos) << verifyOld.Err;
    apply = RunTool({"apply", folder / "old.db", "57", folder / "old58.dat", folder / "other.db"});
    EXPECT_EQ(apply.ExitCode, 1);
    EXPECT_NE(apply.Err.find("does not name the database it was made for"), std::string::npos) << apply.Err;
    // A database is still described as one.
    EXPECT_NE(RunTool({"info", folder / "new.db"}).Out.find("KnownSpywares: 20001"), std::string::npos);

    // A changed byte of the signed file: verify and apply refuse it.
    auto bytes = ReadFileBytes(folder / "update58.dat");
    bytes[bytes.size() / 2] ^= 1;
    WriteFileBytes(folder / "update58.dat", bytes);
    EXPECT_EQ(RunTool({"verify", publicKey, folder / "update58.dat"}).ExitCode, 1);
    apply = RunTool({"apply", folder / "old.db", "57", folder / "update58.dat", folder / "out3.db"});
    EXPECT_EQ(apply.ExitCode, 1);
    EXPECT_NE(apply.Err.find("not signed by the maker"), std::string::npos) << apply.Err;
}

TEST(UpdateCommands, KeygenMakesKeysTheProgramReadsAndNeverOverwritesAPrivateKey) {
    test::TempFolder folder;
    ASSERT_EQ(RunTool({"keygen", folder / "private.pem", folder / "public.pem"}).ExitCode, 0);
    EXPECT_TRUE(PublicKeyFromPem(ReadFileText(folder / "public.pem")).has_value());
    const std::string privateBefore = ReadFileText(folder / "private.pem");
    EXPECT_EQ(RunTool({"keygen", folder / "private.pem", folder / "public2.pem"}).ExitCode, 1);
    EXPECT_EQ(ReadFileText(folder / "private.pem"), privateBefore);

    // Signed with the new key: the built-in (test) key refuses it, --key with the new one takes it.
    ASSERT_EQ(RunTool({"generate", "100", folder / "a.db"}).ExitCode, 0);
    ASSERT_EQ(RunTool({"diff", folder / "a.db", folder / "a.db", "2", folder / "u2.dat"}).ExitCode, 0);
    ASSERT_EQ(RunTool({"sign", folder / "private.pem", folder / "u2.dat"}).ExitCode, 0);
    EXPECT_EQ(RunTool({"apply", folder / "a.db", "1", folder / "u2.dat", folder / "b.db"}).ExitCode, 1);
    EXPECT_EQ(
        RunTool({"apply", folder / "a.db", "1", folder / "u2.dat", folder / "b.db", "--key", folder / "public.pem"})
            .ExitCode,
        0);
    EXPECT_EQ(test::Unpacked(folder / "b.db"), test::Unpacked(folder / "a.db"));
}

TEST(UpdateSignatures, OpenSslSignaturesCheckAgainstTheBuiltInKeyAndParseAsStrictDer) {
    const std::string privateKey = ReadFileText(kTestPrivateKey);
    const dbtool::TOpenSslVerifier verifier{std::string(BuiltInUpdateKeyPem())};
    ASSERT_TRUE(PublicKeyFromPem(BuiltInUpdateKeyPem()).has_value());
    std::mt19937 random(5);
    for (int i = 0; i < 50; ++i) {
        std::vector<std::uint8_t> data(static_cast<std::size_t>(random() % 3000));
        for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
        const auto signature = dbtool::SignBytes(privateKey, data);
        EXPECT_TRUE(RawSignatureFromDer(signature).has_value());
        EXPECT_TRUE(verifier.Verify(data, signature));
        data.push_back(0);
        EXPECT_FALSE(verifier.Verify(data, signature));
    }
    const std::vector<std::uint8_t> data = {1, 2, 3};
    auto signature = dbtool::SignBytes(privateKey, data);
    // Not DER any more: a trailing byte, a wrong length, a cut.
    auto trailing = signature;
    trailing.push_back(0);
    EXPECT_FALSE(RawSignatureFromDer(trailing).has_value());
    EXPECT_FALSE(verifier.Verify(data, trailing));
    auto cut = signature;
    cut.pop_back();
    EXPECT_FALSE(RawSignatureFromDer(cut).has_value());
    EXPECT_FALSE(RawSignatureFromDer({}).has_value());
    // r || s keeps the integers' values: a DER of small integers.
    const std::vector<std::uint8_t> small = {0x30, 0x06, 0x02, 0x01, 0x05, 0x02, 0x01, 0x07};
    const auto raw = RawSignatureFromDer(small);
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ((*raw)[31], 5);
    EXPECT_EQ((*raw)[63], 7);
    EXPECT_EQ((*raw)[0], 0);
    const std::vector<std::uint8_t> negative = {0x30, 0x06, 0x02, 0x01, 0x85, 0x02, 0x01, 0x07};
    EXPECT_FALSE(RawSignatureFromDer(negative).has_value());
    const std::vector<std::uint8_t> padded = {0x30, 0x07, 0x02, 0x02, 0x00, 0x05, 0x02, 0x01, 0x07};
    EXPECT_FALSE(RawSignatureFromDer(padded).has_value());
    EXPECT_FALSE(PublicKeyFromPem("-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n").has_value());
    EXPECT_FALSE(PublicKeyFromPem(privateKey).has_value());
}

}  // namespace
}  // namespace sentrel
