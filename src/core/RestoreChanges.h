#pragma once
// Undo and delete of the changes the shield made, as the restore list of the options dialog
// does them: on every selected record, from the last to the first, so that the indexes of the
// records still to do stay true while earlier ones go.

#include <functional>
#include <string>
#include <vector>

namespace sentrel {

class TBackuper;
struct WarningContext;

// Runs an undo as the user's own change (the monitors must not report what it puts back).
using UndoRunner = std::function<void(const std::function<void()>& undo)>;

// Undoes records `indexes` through the kind their "Type" names among `context.kinds` (the record
// is restored and deleted). A record whose "Type" names no kind, or whose undo fails, stays; the
// messages say which and why, one per record, in the order the records were done.
std::vector<std::string> UndoBackups(TBackuper& backuper, const WarningContext& context, std::vector<int> indexes,
                                     const UndoRunner& run);

// Deletes records `indexes` with their folders, restoring nothing. A record that cannot be
// deleted stays and gets a message.
std::vector<std::string> DeleteBackups(TBackuper& backuper, std::vector<int> indexes);

// The entry to select after entries were removed: the first removed position again, or the last
// entry when that position is gone; -1 when nothing is left.
int SelectionAfterRemoval(int firstRemoved, int remaining);

}  // namespace sentrel
