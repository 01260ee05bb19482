#pragma once
// The single-instance marker: a named system mutex, created by the first instance with its
// creating thread as owner and held until the process ends.

#include "platform/UniqueHandle.h"

namespace sentrel {

inline constexpr const char* kSingleInstanceMutexName = "Sentrel 4";
inline constexpr const char* kSecondInstanceMessage = "Only one instance of Sentrel can be run at the same time!";

class SingleInstance {
public:
    // Returns true when this process now holds the marker, false when another instance has it.
    bool Acquire();

private:
    platform::UniqueHandle mutex_;
};

}  // namespace sentrel
