#include "core/RestoreChanges.h"

#include <algorithm>
#include <stdexcept>

#include "common/DiagnosticLog.h"
#include "common/SafeDisplayText.h"
#include "warnings/WarningKinds.h"

namespace sentrel {

namespace {

// From the last to the first, each once.
std::vector<int> LastToFirst(std::vector<int> indexes) {
    std::sort(indexes.begin(), indexes.end(), std::greater<>());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    return indexes;
}

// A text of a record, put into a message: backups.ini is a file any program of the user can
// write, so what it says is shown made safe.
std::string Quoted(const std::string& text) {
    return "\"" + SafeDisplayText(text, kShownLineLength) + "\"";
}

std::string NotUndone(const std::string& desc, const std::string& why) {
    return "The change " + Quoted(desc) + " could not be undone and stays in the list.\n\n" + why;
}

}  // namespace

std::shared_ptr<PlannedUndo> PlannedUndo::Plan(TBackuper& backuper, const WarningContext& context,
                                               std::vector<int> indexes) {
    std::shared_ptr<PlannedUndo> plan(new PlannedUndo());
    plan->backuper_ = &backuper;
    plan->context_ = std::make_shared<const WarningWorkerContext>(context.worker);
    for (const int index : LastToFirst(std::move(indexes))) {
        Step& step = plan->steps_.emplace_back();
        try {
            step.record = backuper.ReadRecord(index);
            step.desc = step.record.GetString(kBackupDescKey);
            const std::string type = step.record.GetString(kBackupTypeKey);
            const WarningKind* kind = FindWarningKind(context.worker.kinds, type);
            if (!kind) {
                step.problem = "The change " + Quoted(step.desc) + " (backup " + step.record.code +
                               ") cannot be undone: its kind " + Quoted(type) +
                               " is not one Sentrel knows. It stays in the list; Delete removes it.";
            } else if (!backuper.MarkBeingUndone(step.record.code)) {
                step.problem = NotUndone(step.desc, "Its undo is already under way.");
            } else {
                step.marked = true;
                step.kind = kind;
            }
        } catch (const std::exception& error) {
            step.problem = NotUndone(step.desc, error.what());
        }
    }
    return plan;
}

PlannedUndo::~PlannedUndo() {
    Unmark();
}

void PlannedUndo::Unmark() noexcept {
    for (Step& step : steps_) {
        if (!step.marked) continue;
        backuper_->UnmarkBeingUndone(step.record.code);
        step.marked = false;
    }
}

bool PlannedUndo::Idle() const {
    return std::none_of(steps_.begin(), steps_.end(), [](const Step& step) { return step.kind != nullptr; });
}

void PlannedUndo::Act() noexcept {
    for (Step& step : steps_) {
        if (!step.kind) continue;
        try {
            step.kind->UndoRecord(step.record, *context_);
        } catch (...) {
            LogCaught("undo");
            step.error = std::current_exception();
        }
    }
}

std::vector<std::string> PlannedUndo::Finish() {
    if (finished_) throw std::logic_error("an undo is finished once");
    finished_ = true;
    Unmark();
    std::vector<std::string> problems;
    for (const Step& step : steps_) {
        if (!step.kind) {
            problems.push_back(step.problem);
            continue;
        }
        try {
            if (step.error) std::rethrow_exception(step.error);
            // By its code: another record may have gone meanwhile and moved this one up.
            const int index = backuper_->IndexOfCode(step.record.code);
            if (index >= 0) backuper_->DeleteBackup(index);
        } catch (const std::exception& error) {
            problems.push_back(NotUndone(step.desc, error.what()));
        }
    }
    return problems;
}

std::vector<std::string> UndoBackups(TBackuper& backuper, const WarningContext& context, std::vector<int> indexes,
                                     const UndoRunner& run) {
    const std::shared_ptr<PlannedUndo> plan = PlannedUndo::Plan(backuper, context, std::move(indexes));
    if (!plan->Idle()) run([&plan] { plan->Act(); });
    return plan->Finish();
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
