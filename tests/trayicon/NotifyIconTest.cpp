#include "trayicon/NotifyIcon.h"
#include "FakeTray.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

using fake::FakeTrayPlatform;

TEST(NotifyIcon, PlaceholderBuilds) {
    FakeTrayPlatform platform;
    TNotifyIcon icon(platform, platform.CreateWindow());
    EXPECT_EQ(icon.IconIndex(), 0);
}

} // namespace
} // namespace tarnwick
