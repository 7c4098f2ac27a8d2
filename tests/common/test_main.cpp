// Main of every test program: one QApplication for the whole run (widgets
// and GL contexts need it), messages recorded instead of shown.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "platform/MessageSink.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Without a display the offscreen platform still allows QImage, fonts and
    // off-screen GL where Mesa provides it; window tests skip themselves there.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    platform::SetMessageBoxesAllowed(false);
    return RUN_ALL_TESTS();
}
