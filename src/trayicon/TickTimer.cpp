#include "trayicon/TickTimer.h"

namespace tarnwick {

TTickTimerHandler& TTickTimerHandler::Acquire(TrayPlatform& platform) {
    if (!platform.tickTimerHandler_)
        platform.tickTimerHandler_ = new TTickTimerHandler(platform);
    ++platform.tickTimerHandler_->refCount_;
    return *platform.tickTimerHandler_;
}

TTickTimerHandler::TTickTimerHandler(TrayPlatform& platform) : platform_(platform) {
    window_ = platform_.CreateTimerWindow(*this);
}

TTickTimerHandler::~TTickTimerHandler() {
    if (window_ != NoWindow)
        platform_.DestroyHiddenWindow(window_);
}

void TTickTimerHandler::Release() {
    if (refCount_ > 0)
        --refCount_;
    if (refCount_ == 0) {
        platform_.tickTimerHandler_ = nullptr;
        delete this;
    }
}

std::uintptr_t TTickTimerHandler::Register(TTickTimer* timer) {
    if (!freeIds_.empty()) {
        const std::uintptr_t id = freeIds_.back();
        freeIds_.pop_back();
        slots_[id - 1] = timer;
        return id;
    }
    slots_.push_back(timer);
    return slots_.size();
}

void TTickTimerHandler::Unregister(std::uintptr_t id) {
    if (id == 0 || id > slots_.size())
        return;
    slots_[id - 1] = nullptr;
    freeIds_.push_back(id);
}

void TTickTimerHandler::TimerTick(std::uintptr_t timerId) {
    // A tick that was already queued when its timer went away finds an empty slot.
    if (timerId == 0 || timerId > slots_.size())
        return;
    if (TTickTimer* timer = slots_[timerId - 1])
        timer->Fire();
}

TTickTimer::TTickTimer(TrayPlatform& platform, void* Data, TTickCallback Callback)
    : platform_(platform), handler_(TTickTimerHandler::Acquire(platform)), data_(Data),
      callback_(Callback) {
    id_ = handler_.Register(this);
}

TTickTimer::~TTickTimer() {
    if (active_)
        Stop();
    handler_.Unregister(id_);
    handler_.Release();
}

bool TTickTimer::Start(std::uint32_t Interval) {
    if (active_)
        Stop();
    interval_ = Interval;
    const bool ok = platform_.SetTimer(handler_.Window(), id_, Interval);
    if (ok)
        active_ = true;
    return ok;
}

bool TTickTimer::Stop() {
    active_ = false;
    return platform_.KillTimer(handler_.Window(), id_);
}

void TTickTimer::Fire() {
    if (!callback_)
        return;
    // A failing callback must not stop the timer or reach the message loop.
    try {
        callback_(data_);
    } catch (...) {
    }
}

} // namespace tarnwick
