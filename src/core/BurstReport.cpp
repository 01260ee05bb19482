#include "core/BurstReport.h"

namespace sentrel {

std::string BurstReport::RemovedText(std::size_t removed) {
    return "Sentrel removed " + std::to_string(removed) + (removed == 1 ? " threat" : " threats") +
           ". Undo in the main window.";
}

std::string BurstReport::DroppedText(std::size_t dropped) {
    return std::to_string(dropped) + (dropped == 1 ? " finding was" : " findings were") +
           " dropped: too many warnings were waiting.";
}

std::string BurstReport::End(std::size_t dropped) {
    std::string text;
    if (removed_ > 0) text = RemovedText(removed_);
    if (dropped > 0) text += (text.empty() ? "" : "\n") + DroppedText(dropped);
    removed_ = 0;
    return text;
}

}  // namespace sentrel
