#pragma once
// The one catch-all of the program. An exception that leaves an event handler (a window
// message, a timer tick, a click) ends that handler and is swallowed here without a message to
// the user, into the diagnostic log; the next event starts afresh. Every timer handler and
// callback runs its body through Guarded, so it is noexcept at its edge (window procedures do the
// same in platform/WindowObject).

#include <exception>
#include <type_traits>
#include <utility>

namespace sentrel {

// Writes the exception that ended an event handler to the diagnostic log.
void Catcher(std::exception_ptr error) noexcept;

// Runs `body`; when it throws, hands the exception to Catcher and returns `fallback`.
template <typename Body, typename Result = std::invoke_result_t<Body>>
Result Guarded(Body&& body, Result fallback = Result{}) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        Catcher(std::current_exception());
        return fallback;
    }
}

template <typename Body>
    requires std::is_void_v<std::invoke_result_t<Body>>
void Guarded(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (...) {
        Catcher(std::current_exception());
    }
}

}  // namespace sentrel
