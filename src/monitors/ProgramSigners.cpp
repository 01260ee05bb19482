#include "monitors/ProgramSigners.h"

#include <windows.h>

#include <map>
#include <utility>

#include "common/DiagnosticLog.h"
#include "common/SafeDisplayText.h"
#include "common/TextCase.h"
#include "database/Table.h"
#include "platform/ProgramFolder.h"
#include "platform/WideText.h"
#include "platform/Win32Error.h"

namespace sentrel {

namespace {

constexpr ULONGLONG kPatienceMs = 60000;
constexpr std::size_t kKeptPrograms = 512;

bool StartsWithIgnoringCase(std::string_view text, std::string_view start) {
    return text.size() >= start.size() && SameNameIgnoringCase(text.substr(0, start.size()), start);
}

// The file's size and last write time, or std::nullopt where it is not there.
std::optional<std::pair<ULONGLONG, ULONGLONG>> SizeAndTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(platform::WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return std::pair((ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
                     (ULONGLONG{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime);
}

// Programs, libraries and drivers, which publishers sign; not documents or scripts.
bool IsSignableProgram(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || path.find_first_of("\\/", dot) != std::string_view::npos) return false;
    const std::string_view extension = path.substr(dot + 1);
    for (const std::string_view known : {"exe", "dll", "sys", "scr", "com", "cpl", "ocx", "drv", "efi", "msi"})
        if (SameNameIgnoringCase(extension, known)) return true;
    return false;
}

}  // namespace

std::string ProgramFilePath(const std::string& program) {
    std::string path = platform::ExpandEnvironmentNames(program);
    std::string windows;
    try {
        windows = platform::WindowsFolder();
    } catch (const platform::Win32Error&) {
    }
    if (StartsWithIgnoringCase(path, "\\??\\")) path.erase(0, 4);
    if (!windows.empty()) {
        if (StartsWithIgnoringCase(path, "\\SystemRoot\\")) {
            path = windows + path.substr(11);
        } else if (StartsWithIgnoringCase(path, "System32\\") || StartsWithIgnoringCase(path, "SysWOW64\\")) {
            path = windows + "\\" + path;
        }
    }
    if (path.find('\\') == std::string::npos && path.find('/') == std::string::npos && !path.empty()) {
        // A bare name, as Windows looks it up for a command: the system folders and the path.
        const std::wstring name = platform::WideFromUtf8(path);
        wchar_t found[MAX_PATH] = {};
        const DWORD length = SearchPathW(nullptr, name.c_str(), L".exe", MAX_PATH, found, nullptr);
        if (length > 0 && length < MAX_PATH) path = platform::Utf8FromWide(std::wstring_view(found, length));
    }
    return path;
}

std::string SignatureSentence(const platform::FileSignature& signature) {
    switch (signature.state) {
    case platform::SignatureState::Trusted: return "Program signed by " + ShownName(signature.signer);
    case platform::SignatureState::NotSigned: return "Program not signed";
    case platform::SignatureState::Invalid: return "Program signature not trusted";
    case platform::SignatureState::Unreadable: break;
    }
    return {};
}

struct ProgramSigners::State {
    struct Known {
        ULONGLONG size = 0;
        ULONGLONG time = 0;
        std::optional<platform::FileSignature> signature;  // none while the check runs
        ULONGLONG askedAt = 0;
    };
    struct CaseLess {
        bool operator()(const std::string& a, const std::string& b) const { return CompareIgnoringCase(a, b) < 0; }
    };
    std::map<std::string, Known, CaseLess> known;  // by the path, letter case aside
};

ProgramSigners::ProgramSigners(AutostartRunner runner, Checker check)
    : runner_(std::move(runner)), check_(std::move(check)), state_(std::make_shared<State>()) {}

std::optional<ProgramSignature> ProgramSigners::Lookup(const std::string& program) {
    const std::string path = ProgramFilePath(program);
    if (!IsSignableProgram(path)) return ProgramSignature{};  // a document or script: nothing to say
    const std::optional<std::pair<ULONGLONG, ULONGLONG>> file = SizeAndTime(path);
    if (!file) return ProgramSignature{};  // no file to check: nothing to say
    const std::string& key = path;
    const ULONGLONG now = GetTickCount64();
    auto found = state_->known.find(key);
    if (found != state_->known.end() && found->second.size == file->first && found->second.time == file->second) {
        const State::Known& known = found->second;
        if (known.signature) {
            const bool trusted = known.signature->state == platform::SignatureState::Trusted;
            return ProgramSignature{trusted ? known.signature->signer : std::string(), SignatureSentence(*known.signature)};
        }
        if (now - known.askedAt < kPatienceMs) return std::nullopt;
        LogEvent("the signature of " + path + " was not checked in time");
        return ProgramSignature{};
    }
    if (state_->known.size() >= kKeptPrograms) state_->known.clear();
    state_->known[key] = {file->first, file->second, std::nullopt, now};
    auto checked = std::make_shared<platform::FileSignature>();
    try {
        runner_([checked, path, check = check_] { *checked = check(path); },
                [checked, key, size = file->first, time = file->second, state = state_] {
                    const auto entry = state->known.find(key);
                    if (entry != state->known.end() && entry->second.size == size && entry->second.time == time)
                        entry->second.signature = *checked;
                });
    } catch (const std::exception&) {
        LogCaught("signature check start");
        state_->known.erase(key);
        return ProgramSignature{};
    }
    return std::nullopt;
}

}  // namespace sentrel
