#pragma once
// The one Qt application object of a test program, made on first use (the Qt
// platform needs one).
#include <QCoreApplication>

namespace tarvelo::testing {

inline QCoreApplication& QtTestApp() {
    if (QCoreApplication* existing = QCoreApplication::instance()) return *existing;
    static int argc = 1;
    static char name[] = "tarvelo-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

} // namespace tarvelo::testing
