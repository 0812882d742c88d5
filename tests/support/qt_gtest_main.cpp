// GoogleTest with the program's application object, offscreen unless told otherwise: window tests need a
// QApplication, and handler exceptions must reach the same top-level handler as in the program.
#include <gtest/gtest.h>

#include "platform/ui/ui.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    qv::ui::Application app(argc, argv);
    return RUN_ALL_TESTS();
}
