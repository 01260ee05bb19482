#pragma once
// What the user hears of a burst of findings the shield settled on its own: the threats it
// removed without asking (black list, "solve always" categories, "Shield me without prompt")
// and the findings it had to drop because too many warnings were waiting. A burst ends when the
// dispatcher finds the queue empty with no alert up; then one message tells the whole burst,
// instead of one per warning.

#include <cstddef>
#include <string>

namespace sentrel {

class BurstReport {
public:
    // A threat was removed without an alert of its own.
    void NoteRemoved() noexcept { ++removed_; }
    std::size_t Removed() const noexcept { return removed_; }

    // The burst is over; `dropped` findings were refused by a full queue meanwhile. Returns the
    // message for the user (empty when there is nothing to tell) and starts a new burst.
    std::string End(std::size_t dropped);

    // "Sentrel removed 12 threats. Undo in the main window."
    static std::string RemovedText(std::size_t removed);
    // The findings a full queue refused, which no alert will show.
    static std::string DroppedText(std::size_t dropped);

private:
    std::size_t removed_ = 0;
};

}  // namespace sentrel
