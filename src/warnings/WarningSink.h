#pragma once
// Where a monitor hands its findings: the warning queue of the running shield, or whatever a test
// puts in its place. The sink takes ownership; it may refuse a warning and destroy it.

#include <memory>

namespace sentrel {

class TWarning;

class WarningSink {
public:
    virtual void QueueWarning(std::unique_ptr<TWarning> warning) = 0;
    // False while the sink would refuse any new warning (it is full): a monitor that can find a
    // threat again on a later pass keeps it for then instead of handing it over to be dropped.
    virtual bool HasRoom() const { return true; }

protected:
    ~WarningSink() = default;
};

}  // namespace sentrel
