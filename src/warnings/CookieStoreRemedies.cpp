// The tracking cookies of a browser's cookie store: deleted exactly, kept to be put back. Plain
// files and SQLite, so the same on every system.
#include <stdexcept>
#include <optional>
#include <string>
#include <vector>

#include "common/Files.h"
#include "warnings/AutostartPointHold.h"
#include "warnings/Backuper.h"
#include "warnings/CookieStoreWarning.h"
#include "warnings/WarningRemedies.h"

namespace sentrel::remedies {

namespace {

std::string KindWord(CookieStoreKind kind) { return kind == CookieStoreKind::Firefox ? "firefox" : "chromium"; }

// What the user reads when the store cannot be changed: a browser that holds it must be closed.
[[noreturn]] void ThrowStoreProblem(const CookieStoreError& error, const std::string& browser, const char* doing) {
    if (error.reason() == CookieStoreError::Reason::Busy)
        throw std::runtime_error(browser + " is running and holds its cookies: close " + browser +
                                 " and try again. Nothing was " + doing + ".");
    throw std::runtime_error(std::string("The cookies could not be ") + doing + ": " + error.what());
}

}  // namespace

void FixCookieStore(const TWarning& found, const NewBackupResult& record, FixOutcome& outcome,
                    const WarningWorkerContext& context) {
    const auto& warning = WarningAs<CookieStoreWarning>(found);
    const AutostartPointHold hold(context, warning.PointId);
    std::vector<KeptCookieRow> kept;
    try {
        kept = DeleteCookies(warning.Store, warning.Kind, warning.Cookies);
    } catch (const CookieStoreError& error) {
        ThrowStoreProblem(error, warning.Browser, "deleted");
    }
    // The rows are in the store's file no more: they must reach the record, or go back.
    try {
        WriteFileAtomically(record.folderPath + std::string(kKeptCookiesFileName), KeptCookieRowsText(kept));
    } catch (const std::exception&) {
        RestoreCookies(warning.Store, warning.Kind, kept);
        throw;
    }
    outcome.keepRecord = true;
    outcome.recordKeys = {BackupString(kCookieStoreKey, warning.Store),
                          BackupString(kCookieStoreKindKey, KindWord(warning.Kind)),
                          BackupString(kCookieBrowserKey, warning.Browser),
                          BackupString(kCookieDomainKey, warning.Domain), BackupString(kCookiePointKey, warning.PointId)};
}

void UndoCookieStore(const BackupRecord& record, const WarningWorkerContext& context) {
    const AutostartPointHold hold(context, record.GetString(kCookiePointKey));
    const std::optional<std::vector<KeptCookieRow>> rows =
        ParseKeptCookieRows(ReadFileText(record.folderPath + std::string(kKeptCookiesFileName)));
    if (!rows) throw std::runtime_error("The kept cookies of this change are damaged; nothing was restored.");
    const CookieStoreKind kind =
        record.GetString(kCookieStoreKindKey) == "firefox" ? CookieStoreKind::Firefox : CookieStoreKind::Chromium;
    try {
        RestoreCookies(record.GetString(kCookieStoreKey), kind, *rows);
    } catch (const CookieStoreError& error) {
        ThrowStoreProblem(error, record.GetString(kCookieBrowserKey), "restored");
    }
}

}  // namespace sentrel::remedies
