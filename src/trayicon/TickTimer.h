#pragma once

#include "trayicon/TrayPlatform.h"

#include <cstdint>
#include <vector>

namespace tarnwick {

class TTickTimer;

// The timers' shared hidden window: created with the first timer of a platform, freed with
// its last one. A tick finds its timer through the timer's Id, an index into its slots.
class TTickTimerHandler final : public TimerSink {
public:
    static TTickTimerHandler& Acquire(TrayPlatform& platform);
    void Release();

    WindowHandle Window() const { return window_; }
    std::uintptr_t Register(TTickTimer* timer);
    void Unregister(std::uintptr_t id);
    void TimerTick(std::uintptr_t timerId) override;

    ~TTickTimerHandler() override;

private:
    explicit TTickTimerHandler(TrayPlatform& platform);
    friend class TrayPlatform;

    TrayPlatform& platform_;
    WindowHandle window_ = NoWindow;
    std::uint32_t refCount_ = 0;
    std::vector<TTickTimer*> slots_;
    std::vector<std::uintptr_t> freeIds_;
};

// A minimal periodic timer on the shared timer window.
class TTickTimer {
public:
    using TTickCallback = void (*)(void* Data);

    TTickTimer(TrayPlatform& platform, void* Data, TTickCallback Callback);
    ~TTickTimer();
    TTickTimer(const TTickTimer&) = delete;
    TTickTimer& operator=(const TTickTimer&) = delete;

    // Starts (or restarts) the timer; false when the platform refuses it.
    bool Start(std::uint32_t Interval);
    bool Stop();
    bool Active() const { return active_; }
    std::uint32_t Interval() const { return interval_; }
    std::uintptr_t Id() const { return id_; }

private:
    friend class TTickTimerHandler;
    void Fire();

    TrayPlatform& platform_;
    TTickTimerHandler& handler_;
    void* data_;
    std::uintptr_t id_ = 0;
    bool active_ = false;
    std::uint32_t interval_ = 0;
    TTickCallback callback_;
};

} // namespace tarnwick
