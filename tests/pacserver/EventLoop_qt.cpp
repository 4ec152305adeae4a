// The Qt server needs an application object and its event loop.
#include "TestClient.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace tarnwick::test {

void PumpEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace tarnwick::test

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
