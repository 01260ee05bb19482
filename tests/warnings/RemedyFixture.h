#pragma once
// What the remedy tests share: a fresh program folder with its backup store, a warning context
// whose hooks are recorded, the current folder put back before the program folder goes, fix and
// undo as the shield reaches them, and checks of a backup record.

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "common/Files.h"
#include "support/TempFolder.h"
#include "warnings/Backuper.h"
#include "warnings/Warning.h"
#include "warnings/WarningKinds.h"

namespace sentrel::test {

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class RemedyTest : public ::testing::Test {
protected:
    RemedyTest()
        : backuper_(program_.Path()),
          context_(WarningContext{
              .worker = {.markShieldMove = [this](const std::string& path) { marked_.push_back(path); },
                         .cookiesFolder = [this] { return cookies_; }},
              .window = {.refreshWatchedValue =
                             [this](RegistryRoot, const std::string& key, const std::string& value, RegistryView) {
                                 ++refreshes_;
                                 refreshed_ = key + "|" + value;
                             }},
          }) {}

    // The warning's fix (plan, act and finish in a row), its texts made as the queue makes them;
    // what it has to tell the user.
    std::vector<std::string> Fix(TWarning& warning) {
        warning.MakeTexts();
        return warning.Fix(backuper_, context_);
    }
    std::vector<std::string> Fix(TWarning&& warning) { return Fix(warning); }

    // The kind's undo of record `index`, reached as the restore page reaches it.
    void Undo(std::string_view className, int index = 0) {
        const WarningKind* found = FindWarningKind(context_.worker.kinds, className);
        ASSERT_NE(found, nullptr) << className;
        found->Undo(backuper_, index, context_);
    }

    // Record 0's type and line, and each of `keys`; its folder is backuped\<BackupFolder>\.
    void ExpectRecord(TWarning& warning, const std::map<std::string, std::string>& keys) {
        ASSERT_EQ(backuper_.GetCount(), 1);
        EXPECT_EQ(backuper_.GetString(0, "Type"), warning.ClassName());
        EXPECT_EQ(backuper_.GetString(0, "Desc"), warning.GetBackupStr());
        const std::string code = backuper_.GetSectionName(0);
        EXPECT_EQ(backuper_.GetString(0, "BackupFolder"), code);
        for (const auto& [name, value] : keys) EXPECT_EQ(backuper_.GetString(0, name), value) << name;
        EXPECT_TRUE(FolderExists(backuper_.RecordFolder(code)));
    }

    // After an undo: the store is empty, the record's section and folder are gone.
    void ExpectRecordGone(const std::string& code) {
        EXPECT_EQ(backuper_.GetCount(), 0);
        EXPECT_EQ(ReadAll(backuper_.FileName()).find("[" + code + "]"), std::string::npos);
        EXPECT_FALSE(FolderExists(backuper_.RecordFolder(code)));
    }

    bool Marked(const std::string& path) const {
        for (const auto& m : marked_)
            if (m == path) return true;
        return false;
    }

    TempFolder program_;
    TBackuper backuper_;
    std::vector<std::string> marked_;
    int refreshes_ = 0;
    std::string refreshed_;  // key|value of the latest refresh
    std::string cookies_;
    WarningContext context_;
};

}  // namespace sentrel::test
