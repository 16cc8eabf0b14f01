#include <gtest/gtest.h>

#include <QApplication>

// The application object lives on main's stack: a static one outlives parts of Qt it needs when it
// is destroyed at exit, once a window has been shown.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
