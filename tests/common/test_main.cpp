// Main of every test program: one QApplication for the whole run (widgets
// and GL contexts need it), messages recorded instead of shown.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <dlfcn.h>

#include "platform/MessageSink.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Without a display the offscreen platform still allows QImage, fonts and
    // off-screen GL where Mesa provides it; window tests skip themselves there.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Mesa unloads its driver at exit, before the leak checker reads the
    // stacks of what the driver keeps for the life of the process; held
    // here, the driver's frames keep their module name and the
    // suppressions file can name it.
    for (const char* driver : {"/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so",
                               "/usr/lib/x86_64-linux-gnu/dri/kms_swrast_dri.so"})
        dlopen(driver, RTLD_LAZY | RTLD_NODELETE);
    QApplication app(argc, argv);
    platform::SetMessageBoxesAllowed(false);
    return RUN_ALL_TESTS();
}
