// The Winsock server reports through this thread's message queue.
#include "TestClient.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace tarnwick::test {

void PumpEvents() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

} // namespace tarnwick::test

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
