#pragma once
// Undo and delete of the changes the shield made, as the restore list of the options dialog
// does them: on every selected record, from the last to the first, so that the indexes of the
// records still to do stay true while earlier ones go.
//
// An undo runs in three steps, so that the windows keep answering while it restores: Plan on the
// window thread (each record read whole as values and marked as being undone, so that a second
// undo or a delete of it is refused meanwhile), Act on a worker thread (files, keys and values
// restored; the store is not touched) and Finish on the window thread again (the undone records
// deleted by their codes, the marks taken off).

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "warnings/Backuper.h"

namespace sentrel {

struct WarningContext;
struct WarningWorkerContext;
struct WarningKind;

// Runs an undo as the user's own change (the monitors must not report what it puts back).
using UndoRunner = std::function<void(const std::function<void()>& undo)>;

class PlannedUndo {
public:
    // The plan of records `indexes` (window thread). A record whose "Type" names no kind among
    // `context.worker.kinds`, or whose undo is already under way, is not acted on; Finish says so.
    static std::shared_ptr<PlannedUndo> Plan(TBackuper& backuper, const WarningContext& context,
                                             std::vector<int> indexes);
    // Takes the marks off the records of a plan that was never finished.
    ~PlannedUndo();
    PlannedUndo(const PlannedUndo&) = delete;
    PlannedUndo& operator=(const PlannedUndo&) = delete;

    // True when no record is to be acted on (Act has nothing to do).
    bool Idle() const;
    // The act (any one thread): each record's undo, an exception kept for the finish.
    void Act() noexcept;
    // The finish (window thread): deletes the records that were undone and returns one message
    // per record that was not, in the order the records were done. Throws std::logic_error a
    // second time.
    std::vector<std::string> Finish();

private:
    struct Step {
        BackupRecord record;
        std::string desc;
        const WarningKind* kind = nullptr;  // null: refused in the plan, `problem` says why
        std::string problem;
        bool marked = false;
        std::exception_ptr error;
    };
    PlannedUndo() = default;
    void Unmark() noexcept;

    TBackuper* backuper_ = nullptr;  // reached only in the plan and the finish
    std::shared_ptr<const WarningWorkerContext> context_;  // what the act may use
    std::vector<Step> steps_;
    bool finished_ = false;
};

// Undoes records `indexes` in a row on the calling thread: plan, `run` around the act, finish.
// A record whose "Type" names no kind, or whose undo fails, stays; the messages say which and
// why, one per record, in the order the records were done.
std::vector<std::string> UndoBackups(TBackuper& backuper, const WarningContext& context, std::vector<int> indexes,
                                     const UndoRunner& run);

// Deletes records `indexes` with their folders, restoring nothing. A record that cannot be
// deleted (its undo under way, among others) stays and gets a message.
std::vector<std::string> DeleteBackups(TBackuper& backuper, std::vector<int> indexes);

// The entry to select after entries were removed: the first removed position again, or the last
// entry when that position is gone; -1 when nothing is left.
int SelectionAfterRemoval(int firstRemoved, int remaining);

}  // namespace sentrel
