#include "trayicon/TickTimer.h"
#include "FakeTray.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using fake::FakeTrayPlatform;

TEST(TickTimer, PlaceholderBuilds) {
    FakeTrayPlatform platform;
    TTickTimer timer(platform, nullptr, nullptr);
    EXPECT_FALSE(timer.Active());
}

} // namespace
} // namespace tarnwick
