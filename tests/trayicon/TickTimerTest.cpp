#include "trayicon/TickTimer.h"
#include "FakeTray.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace tarnwick {
namespace {

using fake::FakeTrayPlatform;

void Count(void* data) {
    ++*static_cast<int*>(data);
}
void Fail(void* data) {
    ++*static_cast<int*>(data);
    throw std::runtime_error("callback failed");
}

TEST(TickTimer, TicksEveryIntervalUntilStopped) {
    FakeTrayPlatform platform;
    int ticks = 0;
    TTickTimer timer(platform, &ticks, &Count);
    EXPECT_FALSE(timer.Active());
    EXPECT_TRUE(timer.Start(100));
    EXPECT_TRUE(timer.Active());
    EXPECT_EQ(timer.Interval(), 100u);
    platform.Advance(350);
    EXPECT_EQ(ticks, 3);

    // Starting again restarts with the new interval.
    EXPECT_TRUE(timer.Start(40));
    platform.Advance(80);
    EXPECT_EQ(ticks, 5);
    ASSERT_EQ(platform.RunningTimers().size(), 1u);

    EXPECT_TRUE(timer.Stop());
    EXPECT_FALSE(timer.Active());
    platform.Advance(1000);
    EXPECT_EQ(ticks, 5);
    EXPECT_FALSE(timer.Stop()) << "the platform has no such timer any more";
}

TEST(TickTimer, RefusedStartLeavesItInactive) {
    FakeTrayPlatform platform;
    platform.refuseTimers = true;
    int ticks = 0;
    TTickTimer timer(platform, &ticks, &Count);
    EXPECT_FALSE(timer.Start(10));
    EXPECT_FALSE(timer.Active());
}

TEST(TickTimer, FailingCallbackIsDroppedAndTheTimerKeepsRunning) {
    FakeTrayPlatform platform;
    int calls = 0;
    TTickTimer timer(platform, &calls, &Fail);
    timer.Start(10);
    EXPECT_NO_THROW(platform.Advance(30));
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(timer.Active());
}

TEST(TickTimer, TimersShareOneWindowAndFindTheirOwnTicks) {
    FakeTrayPlatform platform;
    int a = 0, b = 0;
    auto first = std::make_unique<TTickTimer>(platform, &a, &Count);
    auto second = std::make_unique<TTickTimer>(platform, &b, &Count);
    EXPECT_EQ(platform.HiddenWindowCount(), 1u);
    EXPECT_NE(first->Id(), second->Id());
    first->Start(10);
    second->Start(25);
    platform.Advance(50);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 2);

    // Freeing a running timer stops it; the window goes with the last timer.
    first.reset();
    EXPECT_EQ(platform.RunningTimers().size(), 1u);
    EXPECT_EQ(platform.HiddenWindowCount(), 1u);
    second.reset();
    EXPECT_TRUE(platform.RunningTimers().empty());
    EXPECT_EQ(platform.HiddenWindowCount(), 0u);
}

TEST(TickTimer, StaleTickReachesNoFreedTimer) {
    FakeTrayPlatform platform;
    int kept = 0, gone = 0;
    TTickTimer keep(platform, &kept, &Count);
    auto freed = std::make_unique<TTickTimer>(platform, &gone, &Count);
    const std::uintptr_t staleId = freed->Id();
    freed.reset();
    TTickTimerHandler& handler = TTickTimerHandler::Acquire(platform);
    handler.TimerTick(staleId);
    handler.TimerTick(0);
    handler.TimerTick(999);
    handler.Release();
    EXPECT_EQ(gone, 0);
    EXPECT_EQ(kept, 0);
}

} // namespace
} // namespace tarnwick
