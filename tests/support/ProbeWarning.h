#pragma once
// A warning double for the queue, dispatcher and level tests: a kind of its own whose fix counts
// the living probes and all fixes, and can be made to fail.

#include <stdexcept>
#include <string>

#include "warnings/Warning.h"

namespace sentrel::test {

void FixProbe(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
              const WarningWorkerContext& context);
WarningTexts ProbeTexts(const TWarning& warning);

inline constexpr WarningKind kProbeKind{.name = "ProbeWarning", .fix = &FixProbe, .texts = &ProbeTexts};

class ProbeWarning : public TWarning {
public:
    static inline int living = 0;
    static inline int fixes = 0;

    explicit ProbeWarning(std::string name, bool failFix = false)
        : TWarning(kProbeKind, std::move(name)), fixThrows(failFix) {
        ++living;
    }
    ~ProbeWarning() override { --living; }

    bool AreEqual(const TWarning& other) const override { return other.Name == Name; }

    const bool fixThrows;
};

inline void FixProbe(const TWarning& warning, const NewBackupResult&, FixOutcome&, const WarningWorkerContext&) {
    const auto& probe = WarningAs<ProbeWarning>(warning);
    ++ProbeWarning::fixes;
    if (probe.fixThrows) throw std::runtime_error("fix failed");
}

inline WarningTexts ProbeTexts(const TWarning& warning) {
    return {.title = "probe", .description = "probe " + warning.Name, .picture = "bug"};
}

}  // namespace sentrel::test
