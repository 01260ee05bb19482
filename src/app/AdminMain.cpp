// Sentrel4Admin.exe, the administrator part: started by the shield through the system's question
// for an administrator's consent, it does one request (warnings/AdminIntent.h) and ends. It has
// no window. Before it reads anything it makes sure that it runs where only administrators write
// and that libraries come from the system folder alone.

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "BuiltInAutostartPoints.h"
#include "app/AdminActs.h"
#include "app/AdminStore.h"
#include "app/AdminTrust.h"
#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "platform/ProgramFolder.h"
#include "platform/WideText.h"
#include "warnings/AdminIntent.h"

namespace {

// The build the tests run under Wine, which keeps no rules on files (every file there is the
// user's): the places are checked for links, not for their rules.
#ifdef SENTREL_ADMIN_UNDER_TEST
constexpr bool kCheckRules = false;
#else
constexpr bool kCheckRules = true;
#endif

std::vector<std::string> Arguments() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> result;
    if (!arguments) return result;
    for (int i = 1; i < count; ++i) result.push_back(sentrel::platform::Utf8FromWide(arguments[i]));
    LocalFree(arguments);
    return result;
}

std::string CommonStartupFolder() {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_CommonStartup, KF_FLAG_DONT_VERIFY, nullptr, &path)))
        folder = sentrel::platform::Utf8FromWide(path);
    CoTaskMemFree(path);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

int Run() {
    using namespace sentrel;
    const std::optional<AdminRequest> request = ParseAdminArguments(Arguments());
    if (!request || GetACP() != CP_UTF8) return kAdminBadCommandLine;
    std::optional<admin::AdminStore> store;
    try {
        const std::string program = platform::ExecutablePath();
        admin::CheckAdministratorsOnly(program, true, kCheckRules);
        store.emplace(platform::MachineDataFolder(), kCheckRules);
    } catch (const std::exception&) {
        LogCaught("administrator part, its places");
        return kAdminNotTrusted;
    }
    try {
        OpenDiagnosticLog(platform::MachineDataFolder() + "\\" + kAdminStoreFolder + "\\Sentrel4Admin.log");
    } catch (...) {
        LogCaught("administrator part, its log");
    }
    store->DropOldAnswers();
    if (store->HasAnswer(request->ticket)) return kAdminBadCommandLine;
    admin::AdminPlaces places;
    places.points = ParseAutostartPoints(kBuiltInAutostartPoints, [](const std::string& line) { LogEvent(line); });
    places.commonStartup = CommonStartupFolder();
    const admin::AdminReply reply = admin::RunAdminRequest(*request, *store, places);
    try {
        store->WriteAnswer(request->ticket, AdminAnswerText(reply.answer));
    } catch (...) {
        LogCaught("administrator part, its answer");
        return kAdminFailed;
    }
    LogEvent("administrator part ended with " + std::to_string(reply.exitCode));
    CloseDiagnosticLog();
    return reply.exitCode;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Libraries loaded from now on come from the system folder only, never from the program's
    // own folder or the current one; the program imports nothing at its start that is not one
    // of the system's known libraries, which always come from there.
    if (!SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return sentrel::kAdminNotTrusted;
    SetDllDirectoryW(L"");
    return Run();
}
