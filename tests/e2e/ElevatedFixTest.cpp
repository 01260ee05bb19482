// The fix and undo of a machine autostart point through the program's elevated copy, the real
// Sentrel4.exe started with "runas" beside a running shield. Wine runs the copy unelevated and
// refuses no write to HKLM, so the test says which kind counts as refused for want of rights.
#include <gtest/gtest.h>

#include "common/Files.h"
#include "e2e/AlertDriving.h"
#include "platform/ElevatedProcess.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "platform/StartupFolders.h"
#include "warnings/AutostartWarning.h"
#include "warnings/ElevatedActs.h"
#include "warnings/RegistryFile.h"
#include "warnings/ServiceWarning.h"
#include "warnings/StartupWarnings.h"
#include "warnings/WarningRemedies.h"

namespace sentrel::e2e {
namespace {

constexpr const char* kPointKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
constexpr const char* kItem = "Sentrel elevated тест";
constexpr const char* kPointId = "elevated test point";

std::optional<std::string> PointValue() {
    const auto key = platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, kPointKey);
    if (!key) return std::nullopt;
    const auto value = key->ReadValue(kItem);
    if (!value) return std::nullopt;
    return std::to_string(value->type) + ":" + HexFromBytes(value->data);
}

class ElevatedFix : public ::testing::Test {
protected:
    ElevatedFix() : point_(platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, kPointKey)) {}
    ~ElevatedFix() override { point_.DeleteValue(kItem); }

    std::vector<std::string> Fix(AutostartPointWarning& warning) {
        warning.MakeTexts();
        return warning.Fix(backuper_, context_);
    }
    void Undo() { ShieldWarningKind(AutostartPointWarning::kClassName).Undo(backuper_, 0, context_); }
    unsigned long RunCopy(const std::string& parameters) {
        return *platform::RunElevatedAndWait(folder_ / "Sentrel4.exe", parameters, 60s);
    }
    bool LeftoversIn(const std::string& code) const {
        const std::string record = backuper_.RecordFolder(code);
        return FileExists(record + kElevatedRequestFileName) || FileExists(record + kElevatedResultFileName);
    }

    ShieldFolder folder_{SecurityLevel::High};
    TBackuper backuper_{folder_.Path()};
    platform::RegistryKey point_;
    std::vector<std::string> events_;
    WarningContext context_{
        .holdAutostartPoint = [this](const std::string& point) { events_.push_back("hold " + point); },
        .acceptAutostartPoint = [this](const std::string& point) { events_.push_back("accept " + point); },
        .startElevatedCopy =
            [this](const std::string& parameters) {
                events_.push_back("copy " + parameters);
                return platform::RunElevatedAndWait(folder_ / "Sentrel4.exe", parameters, 60s);
            },
        .refusedForRights = [](std::string_view kind) { return kind == AutostartPointWarning::kClassName; },
    };
};

TEST_F(ElevatedFix, TheCopyFixesAndUndoesAMachinePointAndChangesNothingWhenItCannot) {
    ASSERT_TRUE(folder_.CopyAutostartPoints());
    point_.WriteString(kItem, "C:\\Temp\\bad.exe /run");
    const std::string planted = *PointValue();
    // A shield runs in the folder: the copies do not meet its single-instance rule.
    ShieldProcess shield(folder_);
    ASSERT_TRUE(shield.WaitUntilStarted());

    AutostartPointWarning warning(AutostartPointWarning::Change::Added, kPointId,
                                  "the Run list of the Explorer policies for all users", RegistryRoot::LocalMachine,
                                  kPointKey, RegistryView::Bits64, kItem, false);
    warning.Command = "C:\\Temp\\bad.exe /run";
    warning.Raw = planted;

    // Changed since it was found: the copy leaves it, and no record is made.
    point_.WriteString(kItem, "C:\\Temp\\other.exe");
    const std::string other = *PointValue();
    EXPECT_THROW(Fix(warning), ThreatGoneError);
    EXPECT_EQ(PointValue(), other);
    EXPECT_EQ(backuper_.GetCount(), 0);
    ASSERT_EQ(events_.size(), 3u);
    EXPECT_TRUE(events_[1].starts_with("copy /ElevatedFix ")) << events_[1];
    point_.WriteString(kItem, "C:\\Temp\\bad.exe /run");

    // The system's question answered No.
    auto start = context_.startElevatedCopy;
    context_.startElevatedCopy = [](const std::string&) { return std::optional<unsigned long>(); };
    try {
        Fix(warning);
        ADD_FAILURE() << "a refused prompt fixed it";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("were not given"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("nothing was changed"), std::string::npos) << error.what();
    }
    EXPECT_EQ(PointValue(), planted);
    EXPECT_EQ(backuper_.GetCount(), 0);
    context_.startElevatedCopy = start;

    // The fix: the copy removes the value; the shield writes the record with the copy's keys.
    events_.clear();
    Fix(warning);
    EXPECT_EQ(PointValue(), std::nullopt);
    ASSERT_EQ(backuper_.GetCount(), 1);
    const std::string code = backuper_.GetSectionName(0);
    EXPECT_EQ(backuper_.GetString(0, "Type"), "AutostartPointWarning");
    EXPECT_EQ(backuper_.GetString(0, "RawBefore"), planted);
    EXPECT_EQ(backuper_.GetString(0, "Point"), kPointId);
    EXPECT_TRUE(FileExists(backuper_.RecordFolder(code) + "backup.reg"));
    EXPECT_FALSE(LeftoversIn(code));
    EXPECT_EQ(events_, (std::vector<std::string>{"hold " + std::string(kPointId), "copy /ElevatedFix " + code,
                                                 "accept " + std::string(kPointId)}));

    // A record edited to name a key outside the table: refused, nothing written, the record stays.
    backuper_.SetString("Key", "SOFTWARE\\Sentrel elevated test");
    EXPECT_THROW(Undo(), std::runtime_error);
    EXPECT_FALSE(platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Sentrel elevated test"));
    EXPECT_EQ(backuper_.GetCount(), 1);
    backuper_.SetString("Key", kPointKey);
    // The data to put back edited, or the saved export: the copy undoes only what it left.
    backuper_.SetString("RawBefore", "1:41000000");
    EXPECT_THROW(Undo(), std::runtime_error);
    EXPECT_EQ(PointValue(), std::nullopt);
    backuper_.SetString("RawBefore", planted);
    const std::string exported = backuper_.RecordFolder(code) + "backup.reg";
    const std::string saved = ReadTextFile(exported);
    WriteFileAtomically(exported, saved + "\r\n");
    EXPECT_THROW(Undo(), std::runtime_error);
    EXPECT_EQ(PointValue(), std::nullopt);
    WriteFileAtomically(exported, saved);

    // The undo through the copy puts the value back exactly.
    Undo();
    EXPECT_EQ(PointValue(), planted);
    EXPECT_EQ(backuper_.GetCount(), 0);

    // A copy started with anything but a switch and a code, or with a code of no request, acts on nothing.
    EXPECT_EQ(RunCopy("/ElevatedUndo 1x"), static_cast<unsigned long>(kElevatedBadCommandLine));
    EXPECT_EQ(RunCopy("/ElevatedFix 12 13"), static_cast<unsigned long>(kElevatedBadCommandLine));
    EXPECT_EQ(RunCopy("/ElevatedFix " + code), static_cast<unsigned long>(kElevatedFailed));
    EXPECT_EQ(PointValue(), planted);
    EXPECT_TRUE(shield.IsRunning());
}

TEST_F(ElevatedFix, TheCopyMovesAFileOfTheCommonStartupFolderAndBack) {
    ASSERT_TRUE(folder_.CopyAutostartPoints());
    std::string common;
    for (const platform::StartupFolder& startup : platform::StartupFolders())
        if (startup.common) common = startup.path;
    ASSERT_FALSE(common.empty());
    CreateFolders(common);
    const std::string file = common + "\\Sentrel elevated запуск.cmd";
    WriteFileAtomically(file, "@echo planted\r\n");
    context_.refusedForRights = [](std::string_view kind) { return kind == StartupFileWarning::kClassName; };

    StartupFileWarning warning("files common", "the Startup folder of all users", file, file);
    warning.MakeTexts();
    warning.Fix(backuper_, context_);
    EXPECT_FALSE(FileExists(file));
    ASSERT_EQ(backuper_.GetCount(), 1);
    const std::string code = backuper_.GetSectionName(0);
    EXPECT_EQ(backuper_.GetString(0, "FilePath"), file);
    EXPECT_TRUE(FileExists(backuper_.RecordFolder(code) + FileNamePart(file)));
    EXPECT_FALSE(LeftoversIn(code));

    ShieldWarningKind(StartupFileWarning::kClassName).Undo(backuper_, 0, context_);
    EXPECT_EQ(ReadTextFile(file), "@echo planted\r\n");
    EXPECT_EQ(backuper_.GetCount(), 0);
    RemoveFile(file);
}

TEST_F(ElevatedFix, TheCopyRemovesAServiceAndRegistersItAgain) {
    ASSERT_TRUE(folder_.CopyAutostartPoints());
    const std::string name = "SentrelElevatedService";
    const std::string command = "C:\\Temp\\служба.exe -run";
    platform::RemoveService(name, 0);
    platform::CreateServiceFrom({.name = name, .imagePath = command, .type = SERVICE_WIN32_OWN_PROCESS,
                                 .startType = SERVICE_DEMAND_START, .errorControl = SERVICE_ERROR_NORMAL});
    context_.refusedForRights = [](std::string_view kind) { return kind == ServiceWarning::kClassName; };

    ServiceWarning warning("services", name, "", command, "", SERVICE_DEMAND_START);
    warning.MakeTexts();
    warning.Fix(backuper_, context_);
    EXPECT_FALSE(platform::ReadService(name));
    ASSERT_EQ(backuper_.GetCount(), 1);
    const std::string code = backuper_.GetSectionName(0);
    EXPECT_EQ(backuper_.GetString(0, "Service"), name);
    EXPECT_FALSE(LeftoversIn(code));
    EXPECT_TRUE(events_.size() > 1 && events_[1] == "copy /ElevatedFix " + code);

    ShieldWarningKind(ServiceWarning::kClassName).Undo(backuper_, 0, context_);
    EXPECT_EQ(backuper_.GetCount(), 0);
    const auto back = platform::ReadService(name);
    EXPECT_TRUE(back && back->imagePath == command);
    EXPECT_TRUE(events_.back().starts_with("accept") && events_[events_.size() - 2] == "copy /ElevatedUndo " + code);
    platform::RemoveService(name, 0);
}

}  // namespace
}  // namespace sentrel::e2e
