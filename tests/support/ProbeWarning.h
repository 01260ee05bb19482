#pragma once
// A warning double for the queue, dispatcher and level tests: a kind of its own whose fix counts
// the living probes and all fixes, records the store of its last fix, and can be made to fail.

#include <stdexcept>
#include <string>

#include "warnings/Warning.h"

namespace sentrel::test {

void FixProbe(const TWarning& warning, TBackuper& backuper, const WarningContext& context);
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
    mutable TBackuper* fixedWith = nullptr;
};

inline void FixProbe(const TWarning& warning, TBackuper& backuper, const WarningContext&) {
    const auto& probe = WarningAs<ProbeWarning>(warning);
    probe.fixedWith = &backuper;
    ++ProbeWarning::fixes;
    if (probe.fixThrows) throw std::runtime_error("fix failed");
}

inline WarningTexts ProbeTexts(const TWarning& warning) {
    return {.title = "probe", .description = "probe " + warning.Name, .picture = "bug"};
}

}  // namespace sentrel::test
