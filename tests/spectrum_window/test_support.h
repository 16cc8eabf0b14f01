#pragma once

#include <QApplication>
#include <QDir>
#include <QString>

#include "ui/spectrum_window/draw_spectrum.h"

namespace mirelo::test {

// The application object made by main().
inline QApplication& App() { return *qApp; }

// Runs a test with the working folder set to `folder`, restoring the previous one afterwards.
class WorkingFolder {
public:
    explicit WorkingFolder(const QString& folder) : previous_(QDir::currentPath()) { QDir::setCurrent(folder); }
    ~WorkingFolder() { QDir::setCurrent(previous_); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    QString previous_;
};

}  // namespace mirelo::test
