#pragma once
// Starting the real executables for end-to-end tests.
#include <QCoreApplication>
#include <QProcess>
#include <QElapsedTimer>
#include <QStringList>

#include <string>

namespace tarvelo::testing {

inline QCoreApplication& E2eApp() {
    static int argc = 1;
    static char name[] = "e2e";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

inline QString Binary(const char* name) { return QString(TARVELO_BINARY_DIR) + "/bin/" + name; }

// Runs to completion; returns the exit code (-1 when it did not end in time).
inline int RunToEnd(const QString& program, const QStringList& args, std::string* out = nullptr,
                    std::string* err = nullptr, int timeoutMs = 20000) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out) *out = p.readAllStandardOutput().toStdString();
    if (err) *err = p.readAllStandardError().toStdString();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
}

// Waits until the process's standard error holds `text`.
inline bool WaitForStderr(QProcess& p, const std::string& text, std::string& seen, int timeoutMs = 20000) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        seen += p.readAllStandardError().toStdString();
        if (seen.find(text) != std::string::npos) return true;
        if (p.state() == QProcess::NotRunning) return false;
        p.waitForReadyRead(100);
    }
    return false;
}

} // namespace tarvelo::testing
