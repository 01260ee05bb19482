#include "core/Dispatcher.h"

#include "common/DiagnosticLog.h"
#include "config/Options.h"
#include "core/CategoryActions.h"
#include "core/ColorList.h"
#include "core/WarningQueue.h"
#include "warnings/Warning.h"

namespace sentrel {

AlertTexts TDispatcher::PrepareTexts(const TWarning& warning) {
    return {warning.GetTitle(), warning.GetDescription(), warning.GetPicture(), warning.GetDanger()};
}

void TDispatcher::MainTimerTimer() {
    WarningQueue& queue = context_.queue;
    if (queue.Empty() || queue.AlertBusy() || queue.Current() != nullptr) return;
    TWarning& warning = *queue.MakeHeadCurrent();

    try {
        // The lists hold descriptions as the alert window showed them.
        const AlertTexts texts = PrepareTexts(warning);

        if (context_.whiteList.Contains(texts.description)) return Settle(false);
        if (context_.blackList.Contains(texts.description)) {
            warning.SettledByBlackList = true;
            return Settle(true);
        }

        for (std::string_view key : CategoryKeysOf(warning)) {
            if (key.empty()) break;
            switch (static_cast<CategoryAction>(context_.options.ReadInteger(key, 0))) {
            case CategoryAction::SolveAlways:
                return Settle(true);
            case CategoryAction::IgnoreAlways:
                return Settle(false);
            default:
                break;
            }
        }

        switch (static_cast<NewThreatMode>(context_.options.ReadInteger(kWhatDoKey, kWhatDoDefault))) {
        case NewThreatMode::ShieldWithoutPrompt:
            return Settle(true);
        case NewThreatMode::DoNothing:
            return Settle(false);
        default:
            break;
        }

        // The warning stays current at the head of the queue; the alert window settles it.
        context_.showAlert(texts);
    } catch (...) {
        LogCaught("MainTimer");
        // Whatever failed, this warning must not hold the dispatcher for the rest of the run:
        // it leaves the queue (a fix that raised is not tried every second forever), and an
        // alert that could not be shown no longer holds the busy flag.
        if (queue.Current() == &warning) {
            queue.SetAlertBusy(false);
            queue.RemoveHead();
        }
    }
}

void TDispatcher::Settle(bool fix) {
    WarningQueue& queue = context_.queue;
    if (fix) queue.FixWarning(*queue.Current(), context_.backuper);
    queue.RemoveHead();
}

}  // namespace sentrel
