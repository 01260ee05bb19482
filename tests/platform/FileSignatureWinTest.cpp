// Who signed a program, told by Windows' own check: the four cases of a program signed under a
// throwaway root that the test trusts for its run (bin/signing, made by the build).
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <iostream>
#include <string>

#include "common/Files.h"
#include "platform/FileSignature.h"
#include "platform/HiddenProcess.h"
#include "platform/ProgramFolder.h"

namespace sentrel::platform {
namespace {

// The test root among the user's trusted roots while it lives.
class TrustedTestRoot {
public:
    explicit TrustedTestRoot(const std::string& path) {
        const std::string der = ReadFileText(path);
        store_ = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
        if (store_)
            CertAddEncodedCertificateToStore(store_, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                             static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                             &added_);
        // Written to the registry now, for the copy of this program started next (Wine keeps a
        // registry store's changes until it is committed).
        if (added_) CertControlStore(store_, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    }
    ~TrustedTestRoot() {
        if (added_) CertDeleteCertificateFromStore(added_);  // frees the context too
        if (store_) {
            CertControlStore(store_, 0, CERT_STORE_CTRL_COMMIT, nullptr);
            CertCloseStore(store_, 0);
        }
    }
    bool Added() const { return added_ != nullptr; }

private:
    HCERTSTORE store_ = nullptr;
    PCCERT_CONTEXT added_ = nullptr;
};

// Wine reads its trusted roots once per process: the checks run in a copy of this test program
// started after the root was added (told by the environment).
constexpr const char* kChildMark = "SENTREL_SIGNATURE_CHECKS";

TEST(FileSignature, TrustedChangedUnsignedAndUnknownRootAreToldApart) {
    const std::string folder = ProgramFolder() + "signing\\";
    if (!GetEnvironmentVariableA(kChildMark, nullptr, 0)) {
        const TrustedTestRoot root(folder + "test-root.cer");
        ASSERT_TRUE(root.Added());
        SetEnvironmentVariableA(kChildMark, "1");
        const HiddenRunOutcome child = RunHiddenAndRead(
            "\"" + ExecutablePath() + "\" --gtest_filter=FileSignature.TrustedChangedUnsignedAndUnknownRootAreToldApart",
            120000, 1 << 20);
        SetEnvironmentVariableA(kChildMark, nullptr);
        EXPECT_EQ(child.exitCode, 0u) << child.output;
        EXPECT_NE(child.output.find("[  PASSED  ] 1 test"), std::string::npos) << child.output;
        std::cout << child.output.substr(0, child.output.find("[ RUN"));
        return;
    }

    const FileSignature trusted = CheckFileSignature(folder + "trusted.exe");
    EXPECT_EQ(trusted, (FileSignature{SignatureState::Trusted, "Sentrel Test Publisher", false}));
    EXPECT_EQ(CheckFileSignature(folder + "changed.exe").state, SignatureState::Invalid);
    EXPECT_EQ(CheckFileSignature(folder + "unsigned.exe"), (FileSignature{SignatureState::NotSigned, "", false}));
    const FileSignature unknown = CheckFileSignature(folder + "unknown-root.exe");
    EXPECT_EQ(unknown, (FileSignature{SignatureState::Invalid, "Sentrel Unknown Publisher", false}));
    EXPECT_EQ(CheckFileSignature(folder + "no such program.exe").state, SignatureState::Unreadable);

    // What this system says of one of its own programs (a catalog's, on Windows).
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    const FileSignature notepad = CheckFileSignature(std::string(system) + "\\notepad.exe");
    std::cout << "notepad.exe: state " << static_cast<int>(notepad.state) << ", signer \"" << notepad.signer
              << "\", catalog " << notepad.catalog << "\n";
    EXPECT_NE(notepad.state, SignatureState::Unreadable);
}

}  // namespace
}  // namespace sentrel::platform
