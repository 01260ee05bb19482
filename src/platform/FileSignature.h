#pragma once
// Who signed a program file, as Windows trusts it (Authenticode through WinVerifyTrust): the
// signature the file carries, else the system's catalogs that list it (most of Windows' own
// files are signed so). Checking reads the whole file: call it off the window thread.

#include <string>

namespace sentrel::platform {

enum class SignatureState {
    Trusted,    // signed, and the signature leads to a root Windows trusts
    NotSigned,  // neither the file nor a catalog signs it
    Invalid,    // signed, but changed after signing, by an unknown root, revoked or expired
    Unreadable  // no such file, or it cannot be read
};

struct FileSignature {
    SignatureState state = SignatureState::Unreadable;
    std::string signer;  // the signing certificate's name (Trusted; Invalid where it was read)
    bool catalog = false;  // trusted through a catalog of the system, not the file's own signature

    bool operator==(const FileSignature&) const = default;
};

// The signature of the file at `path`. Revocation is not asked over the network (only what the
// system has cached), so a check never waits for a server.
FileSignature CheckFileSignature(const std::string& path);

}  // namespace sentrel::platform
