#include "core/RestoreChanges.h"

#include <algorithm>
#include <exception>

#include "warnings/Backuper.h"
#include "warnings/WarningKinds.h"

namespace sentrel {

namespace {

// From the last to the first, each once.
std::vector<int> LastToFirst(std::vector<int> indexes) {
    std::sort(indexes.begin(), indexes.end(), std::greater<>());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    return indexes;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

}  // namespace

std::vector<std::string> UndoBackups(TBackuper& backuper, const WarningContext& context, std::vector<int> indexes,
                                     const UndoRunner& run) {
    std::vector<std::string> problems;
    for (const int index : LastToFirst(std::move(indexes))) {
        std::string desc;
        try {
            desc = backuper.GetString(index, kBackupDescKey);
            const std::string type = backuper.GetString(index, kBackupTypeKey);
            const WarningKind* kind = FindWarningKind(context.kinds, type);
            if (!kind) {
                problems.push_back("The change " + Quoted(desc) + " (backup " + backuper.GetSectionName(index) +
                                   ") cannot be undone: its kind " + Quoted(type) +
                                   " is not one Sentrel knows. It stays in the list; Delete removes it.");
                continue;
            }
            run([&] { kind->Undo(backuper, index, context); });
        } catch (const std::exception& error) {
            problems.push_back("The change " + Quoted(desc) + " could not be undone and stays in the list.\n\n" +
                               error.what());
        }
    }
    return problems;
}

std::vector<std::string> DeleteBackups(TBackuper& backuper, std::vector<int> indexes) {
    std::vector<std::string> problems;
    for (const int index : LastToFirst(std::move(indexes))) {
        try {
            backuper.DeleteBackup(index);
        } catch (const std::exception& error) {
            problems.push_back(std::string("A change could not be deleted and stays in the list.\n\n") + error.what());
        }
    }
    return problems;
}

int SelectionAfterRemoval(int firstRemoved, int remaining) {
    if (remaining <= 0) return -1;
    return std::clamp(firstRemoved, 0, remaining - 1);
}

}  // namespace sentrel
