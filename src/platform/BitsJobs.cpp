#include "platform/BitsJobs.h"

#include <windows.h>
#include <bits.h>
#include <bits1_5.h>
#include <bitsmsg.h>

#include "platform/ComObjects.h"
#include "platform/Win32Error.h"
#include "platform/WideText.h"

namespace sentrel::platform {

namespace {

// A text BITS hands out, freed with the task allocator.
class TaskText {
public:
    TaskText() = default;
    TaskText(const TaskText&) = delete;
    TaskText& operator=(const TaskText&) = delete;
    ~TaskText() { CoTaskMemFree(text_); }
    LPWSTR* Put() {
        CoTaskMemFree(text_);
        text_ = nullptr;
        return &text_;
    }
    std::string Text() const { return text_ ? Utf8FromWide(text_) : std::string(); }

private:
    LPWSTR text_ = nullptr;
};

ComRef<IBackgroundCopyManager> Manager() {
    EnsureComOnThisThread();
    ComRef<IBackgroundCopyManager> manager;
    CheckHresult(CoCreateInstance(__uuidof(BackgroundCopyManager), nullptr, CLSCTX_LOCAL_SERVER,
                                  __uuidof(IBackgroundCopyManager), manager.PutVoid()),
                 "CoCreateInstance(BackgroundCopyManager)");
    return manager;
}

std::string IdText(const GUID& id) {
    wchar_t text[64] = {};
    StringFromGUID2(id, text, 64);
    return Utf8FromWideField(text);
}

GUID IdOf(std::string_view text) {
    GUID id{};
    if (FAILED(CLSIDFromString(WideFromUtf8(text).c_str(), &id)))
        ThrowWin32Error("CLSIDFromString(" + std::string(text) + ")", ERROR_INVALID_PARAMETER);
    return id;
}

// The job as it is; nothing for one without a notify program. Throws E_NOINTERFACE where the
// system has no IBackgroundCopyJob2 (no command lines).
std::optional<BitsJob> ReadJob(IBackgroundCopyJob* job) {
    ComRef<IBackgroundCopyJob2> job2;
    CheckHresult(job->QueryInterface(__uuidof(IBackgroundCopyJob2), job2.PutVoid()),
                 "QueryInterface(IBackgroundCopyJob2)");
    TaskText program;
    TaskText parameters;
    CheckHresult(job2->GetNotifyCmdLine(program.Put(), parameters.Put()), "IBackgroundCopyJob2::GetNotifyCmdLine");
    BitsJob read;
    read.notifyProgram = program.Text();
    read.notifyParameters = parameters.Text();
    if (read.notifyProgram.empty()) return std::nullopt;
    GUID id{};
    CheckHresult(job->GetId(&id), "IBackgroundCopyJob::GetId");
    read.id = IdText(id);
    TaskText name;
    if (SUCCEEDED(job->GetDisplayName(name.Put()))) read.displayName = name.Text();
    BG_JOB_TYPE type = BG_JOB_TYPE_DOWNLOAD;
    if (SUCCEEDED(job->GetType(&type))) read.type = static_cast<unsigned>(type);
    ULONG flags = 0;
    if (SUCCEEDED(job->GetNotifyFlags(&flags))) read.notifyFlags = flags;
    ComRef<IEnumBackgroundCopyFiles> files;
    if (SUCCEEDED(job->EnumFiles(files.Put()))) {
        for (;;) {
            ComRef<IBackgroundCopyFile> file;
            ULONG fetched = 0;
            if (files->Next(1, file.Put(), &fetched) != S_OK || fetched == 0) break;
            TaskText remote;
            TaskText local;
            file->GetRemoteName(remote.Put());
            file->GetLocalName(local.Put());
            read.files.push_back({remote.Text(), local.Text()});
        }
    }
    return read;
}

ComRef<IBackgroundCopyJob> JobAt(IBackgroundCopyManager* manager, std::string_view id) {
    ComRef<IBackgroundCopyJob> job;
    const HRESULT result = manager->GetJob(IdOf(id), job.Put());
    if (static_cast<unsigned long>(result) == BG_E_NOT_FOUND) return {};
    CheckHresult(result, "IBackgroundCopyManager::GetJob(" + std::string(id) + ")");
    return job;
}

}  // namespace

std::vector<BitsJob> ListBitsJobsWithCommands() {
    ComRef<IBackgroundCopyManager> manager = Manager();
    ComRef<IEnumBackgroundCopyJobs> jobs;
    CheckHresult(manager->EnumJobs(0, jobs.Put()), "IBackgroundCopyManager::EnumJobs");  // the user's own
    std::vector<BitsJob> found;
    for (;;) {
        ComRef<IBackgroundCopyJob> job;
        ULONG fetched = 0;
        const HRESULT result = jobs->Next(1, job.Put(), &fetched);
        CheckHresult(result, "IEnumBackgroundCopyJobs::Next");
        if (result != S_OK || fetched == 0) break;
        if (std::optional<BitsJob> read = ReadJob(job.Get())) found.push_back(std::move(*read));
    }
    return found;
}

std::optional<BitsJob> ReadBitsJob(std::string_view id) {
    ComRef<IBackgroundCopyManager> manager = Manager();
    ComRef<IBackgroundCopyJob> job = JobAt(manager.Get(), id);
    if (!job) return std::nullopt;
    std::optional<BitsJob> read = ReadJob(job.Get());
    if (!read) {  // there, but starts nothing: the caller still wants to know it is there
        read = BitsJob{};
        read->id = std::string(id);
    }
    return read;
}

bool CancelBitsJob(std::string_view id) {
    ComRef<IBackgroundCopyManager> manager = Manager();
    ComRef<IBackgroundCopyJob> job = JobAt(manager.Get(), id);
    if (!job) return false;
    CheckHresult(job->Cancel(), "IBackgroundCopyJob::Cancel(" + std::string(id) + ")");
    return true;
}

std::string CreateBitsJob(const BitsJob& wanted) {
    ComRef<IBackgroundCopyManager> manager = Manager();
    ComRef<IBackgroundCopyJob> job;
    GUID id{};
    CheckHresult(manager->CreateJob(WideFromUtf8(wanted.displayName).c_str(), static_cast<BG_JOB_TYPE>(wanted.type),
                                    &id, job.Put()),
                 "IBackgroundCopyManager::CreateJob");
    try {
        for (const BitsFile& file : wanted.files)
            CheckHresult(job->AddFile(WideFromUtf8(file.remote).c_str(), WideFromUtf8(file.local).c_str()),
                         "IBackgroundCopyJob::AddFile(" + file.remote + ")");
        ComRef<IBackgroundCopyJob2> job2;
        CheckHresult(job->QueryInterface(__uuidof(IBackgroundCopyJob2), job2.PutVoid()),
                     "QueryInterface(IBackgroundCopyJob2)");
        CheckHresult(job2->SetNotifyCmdLine(WideFromUtf8(wanted.notifyProgram).c_str(),
                                            wanted.notifyParameters.empty()
                                                ? nullptr
                                                : WideFromUtf8(wanted.notifyParameters).c_str()),
                     "IBackgroundCopyJob2::SetNotifyCmdLine");
        CheckHresult(job->SetNotifyFlags(wanted.notifyFlags), "IBackgroundCopyJob::SetNotifyFlags");
        CheckHresult(job->Resume(), "IBackgroundCopyJob::Resume");
    } catch (...) {
        job->Cancel();  // no half-made job stays behind
        throw;
    }
    return IdText(id);
}

}  // namespace sentrel::platform
