#pragma once
// A warning double for the queue, dispatcher and level tests: it counts the living probes and
// all fixes, records the store of its last fix, and can be made to fail its fix.

#include <stdexcept>
#include <string>

#include "warnings/Warning.h"

namespace sentrel::test {

class ProbeWarning : public TWarning {
public:
    static inline int living = 0;
    static inline int fixes = 0;

    explicit ProbeWarning(std::string name, bool fixThrows = false) : TWarning(std::move(name)), fixThrows_(fixThrows) {
        ++living;
    }
    ~ProbeWarning() override { --living; }

    void Fix(TBackuper& backuper) override {
        fixedWith = &backuper;
        ++fixes;
        if (fixThrows_) throw std::runtime_error("fix failed");
    }
    std::string GetTitle() override { return "probe"; }
    std::string GetDescription() override { return "probe " + Name; }
    std::string GetPicture() override { return "bug"; }
    std::string GetDanger() override { return ""; }
    std::string GetBackupStr() override { return ""; }
    bool AreEqual(const TWarning& other) const override { return other.Name == Name; }
    std::string_view ClassName() const override { return "ProbeWarning"; }

    TBackuper* fixedWith = nullptr;

private:
    bool fixThrows_;
};

}  // namespace sentrel::test
