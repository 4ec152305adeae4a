#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace tarnwick {

// One running copy of the program per user: the first start claims a name; a later start
// finds it taken, asks the first copy to bring its main window to the front, and ends.
// Linux: a lock file and a local socket in $XDG_RUNTIME_DIR (handled in the Qt event loop).
// Windows: a named mutex and a message to a hidden window of the first copy (handled in the
// message loop).
class SingleInstance {
public:
    enum class State {
        First,      // this process holds the name
        HandedOver, // another holds it and has been asked to show its main window
        NoAnswer,   // another holds it but did not answer within the patience given
    };

    // Claims name. The first copy calls activate from its event loop each time a later start
    // asks for the main window. A later start waits at most patience for the first copy to
    // answer (it may itself still be starting).
    SingleInstance(const std::string& name, std::function<void()> activate,
                   std::chrono::milliseconds patience = std::chrono::seconds(10));
    ~SingleInstance();

    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    State state() const { return state_; }

    struct Holder;

private:
    State state_ = State::First;
    std::unique_ptr<Holder> holder_;
};

// The machine's name for the current user. On Linux it also depends on the configuration
// folder: two copies that keep their settings apart (as tests do) are separate programs.
std::string SingleInstanceName();

} // namespace tarnwick
