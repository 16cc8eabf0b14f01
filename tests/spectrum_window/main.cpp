#include <gtest/gtest.h>

#include <QApplication>

// The application object lives on main's stack: a static one outlives parts of Qt it needs when it
// is destroyed at exit, once a window has been shown.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Widget tests never need a screen, also when CTest lists them before running.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
