#pragma once
// While a fix or undo writes at an autostart point, the monitor leaves the point alone; once it is
// done, the monitor takes what it finds there as known (the shield's own change is no finding).

#include <string>
#include <utility>

#include "common/DiagnosticLog.h"
#include "warnings/WarningKinds.h"

namespace sentrel {

// Holds the point (none when `point` is empty) for the life of the object; accepts it at the end:
// the entry `item` the fix or undo writes, or (no item) all the point holds then.
class AutostartPointHold {
public:
    AutostartPointHold(const WarningWorkerContext& context, std::string point, std::string item = {})
        : context_(context), point_(std::move(point)), item_(std::move(item)) {
        if (!point_.empty() && context_.holdAutostartPoint) context_.holdAutostartPoint(point_);
    }
    ~AutostartPointHold() {
        try {
            if (!point_.empty() && context_.acceptAutostartPoint) context_.acceptAutostartPoint(point_, item_);
        } catch (...) {
            LogCaught("autostart point accept");
        }
    }
    AutostartPointHold(const AutostartPointHold&) = delete;
    AutostartPointHold& operator=(const AutostartPointHold&) = delete;

private:
    const WarningWorkerContext& context_;
    std::string point_;
    std::string item_;
};

}  // namespace sentrel
