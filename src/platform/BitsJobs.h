#pragma once
// The user's background transfers (BITS jobs) that start a program when they end (a notify
// command line): listed, cancelled and made again through IBackgroundCopyManager.
// COM is started on the calling thread when it is not yet. Failures throw Win32Error with the
// code the HRESULT carries (E_ACCESSDENIED gives ERROR_ACCESS_DENIED), else the HRESULT itself.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel::platform {

struct BitsFile {
    std::string remote;  // the address it is fetched from (or sent to)
    std::string local;   // the file on this computer
    bool operator==(const BitsFile&) const = default;
};

struct BitsJob {
    std::string id;  // "{GUID}"
    std::string displayName;
    unsigned type = 0;         // BG_JOB_TYPE: 0 download, 1 upload, 2 upload with reply
    unsigned notifyFlags = 3;  // BG_NOTIFY_*: when the command runs (transferred, error)
    std::string notifyProgram;
    std::string notifyParameters;
    std::vector<BitsFile> files;
    bool operator==(const BitsJob&) const = default;
};

// The current user's jobs that have a notify program. Where the system cannot list jobs or give
// their command lines (Wine may lack IBackgroundCopyJob2), it throws Win32Error with the code
// E_NOTIMPL (or E_NOINTERFACE, REGDB_E_CLASSNOTREG as the system gave it).
std::vector<BitsJob> ListBitsJobsWithCommands();

// The job of that id; nothing when it is gone.
std::optional<BitsJob> ReadBitsJob(std::string_view id);

// Cancels the job of that id; false when it was gone.
bool CancelBitsJob(std::string_view id);

// Makes a job like `job` (its name, type, files, notify command and flags; a new id, given back)
// and resumes it.
std::string CreateBitsJob(const BitsJob& job);

}  // namespace sentrel::platform
