#include "platform/WindowObject.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace sentrel::platform {
namespace {

// A window that notes the end messages it handles, and a child window's, in `seen`.
class EndRecorder : public WindowObject {
public:
    EndRecorder(std::vector<std::string>& seen, const char* name, HWND parent, bool destroysFirst)
        : seen_(seen), name_(name), destroysFirst_(destroysFirst) {
        RegisterLinkedClass({.lpszClassName = "TEndRecorder"});
        CreateLinked("TEndRecorder", name, parent ? WS_CHILD : WS_POPUP, 0, 0, 0, 10, 10, parent);
    }
    ~EndRecorder() override {
        if (destroysFirst_) Destroy();
    }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_DESTROY) seen_.push_back(name_ + " WM_DESTROY");
        return DefaultHandling(message, wParam, lParam);
    }
    void OnDestroyed() override { seen_.push_back(name_ + " gone"); }

private:
    std::vector<std::string>& seen_;
    std::string name_;
    bool destroysFirst_;
};

TEST(WindowObject, DestroyRunsTheEndOfTheWindowAndOfItsChildrenWhileTheObjectIsWhole) {
    std::vector<std::string> seen;
    auto parent = std::make_unique<EndRecorder>(seen, "parent", nullptr, true);
    const EndRecorder child(seen, "child", parent->Handle(), false);
    const HWND window = parent->Handle();
    parent.reset();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(child.Handle(), nullptr);
    EXPECT_EQ(seen, (std::vector<std::string>{"parent WM_DESTROY", "child WM_DESTROY", "child gone", "parent gone"}));
}

}  // namespace
}  // namespace sentrel::platform
