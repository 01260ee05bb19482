#pragma once
// Whether a place of the administrator part can be changed by someone who is no administrator.
// The part acts with an administrator's rights, so its own program, its folder and its store must
// lie where only administrators (and the system) write: a program of the user's that could replace
// the part, plant a library beside it or edit its store would act as administrator through it.

#include <string>

#include <windows.h>

namespace sentrel::admin {

// What a security descriptor guards.
enum class Guarded {
    Folder,    // the folder itself: adding, deleting or renaming what is in it counts
    Ancestor,  // a folder on its path: only deleting or renaming what is in it counts
    File,      // a file: writing it counts
};

// True when the descriptor lets anyone but SYSTEM, the Administrators group and the Windows
// installer's account (TrustedInstaller) change the object in a way that counts for `guarded`:
// an owner who is someone else (an owner may always rewrite the rules), no rules at all (a null
// DACL lets everyone in), or a rule that gives someone else such a right.
bool LetsOthersWrite(PSECURITY_DESCRIPTOR descriptor, Guarded guarded);

// Throws std::runtime_error, saying what, when `path` (a folder, or a file with `file` true) or a
// folder above it is a link (a reparse point), or, with `checkRules`, when their rules let someone
// but an administrator change them (LetsOthersWrite).
void CheckAdministratorsOnly(const std::string& path, bool file, bool checkRules);

}  // namespace sentrel::admin
