#pragma once
// The thread an object belongs to: the one that made it. State that only the window thread may
// touch (the queue, the monitors, the dispatcher) keeps one of these and checks each entry point,
// so a call from a worker fails loudly at once instead of racing the window thread unseen.

#include <stdexcept>
#include <string>
#include <thread>

namespace sentrel {

class OwnerThread {
public:
    OwnerThread() : owner_(std::this_thread::get_id()) {}

    // Throws std::logic_error, naming `what`, when called from any thread but the owner.
    void Check(const char* what) const {
        if (!IsCurrent())
            throw std::logic_error(std::string(what) + " called from a thread other than the one that owns it");
    }
    bool IsCurrent() const { return std::this_thread::get_id() == owner_; }
    std::thread::id Id() const { return owner_; }

private:
    std::thread::id owner_;
};

}  // namespace sentrel
