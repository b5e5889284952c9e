#pragma once
// Starting the real executables for end-to-end tests.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdlib>
#include <string>

#include "support/QtTestApp.h"

namespace tarvelo::testing {

inline QCoreApplication& E2eApp() { return QtTestApp(); }

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

// Waits until one output channel of the process holds `text` `count` times,
// reading it into `seen`. Fails with what came when the bound passes or the
// process ends first.
inline ::testing::AssertionResult WaitForOutput(QProcess& p, QProcess::ProcessChannel channel, const std::string& text,
                                                std::string& seen, int timeoutMs = 30000, int count = 1) {
    auto occurrences = [&] {
        int n = 0;
        for (size_t at = seen.find(text); at != std::string::npos; at = seen.find(text, at + text.size())) ++n;
        return n;
    };
    auto drain = [&] {
        seen += (channel == QProcess::StandardError ? p.readAllStandardError() : p.readAllStandardOutput()).toStdString();
    };
    // waitForReadyRead watches the current read channel only.
    p.setReadChannel(channel);
    QElapsedTimer t;
    t.start();
    while (true) {
        drain();
        if (occurrences() >= count) return ::testing::AssertionSuccess();
        if (p.state() == QProcess::NotRunning) {
            drain();
            if (occurrences() >= count) return ::testing::AssertionSuccess();
            return ::testing::AssertionFailure()
                   << p.program().toStdString() << " ended (exit code " << p.exitCode() << ") before its "
                   << (channel == QProcess::StandardError ? "standard error" : "output") << " held \"" << text
                   << "\" " << count << " time(s); it held:\n" << seen;
        }
        if (t.elapsed() > timeoutMs)
            return ::testing::AssertionFailure()
                   << "no \"" << text << "\" (" << occurrences() << " of " << count << ") from "
                   << p.program().toStdString() << " within " << timeoutMs / 1000 << " s; it wrote:\n" << seen;
        p.waitForReadyRead(100);
    }
}

inline ::testing::AssertionResult WaitForStderr(QProcess& p, const std::string& text, std::string& seen,
                                                int timeoutMs = 30000, int count = 1) {
    return WaitForOutput(p, QProcess::StandardError, text, seen, timeoutMs, count);
}

inline ::testing::AssertionResult WaitForStdout(QProcess& p, const std::string& text, std::string& seen,
                                                int timeoutMs = 30000, int count = 1) {
    return WaitForOutput(p, QProcess::StandardOutput, text, seen, timeoutMs, count);
}

// The port of a tool's endpoint line "listening HOST:PORT" (0 when there is none).
inline quint16 ListeningPort(const std::string& output) {
    const size_t at = output.find("listening ");
    if (at == std::string::npos) return 0;
    const size_t end = output.find('\n', at);
    const std::string line = output.substr(at, end == std::string::npos ? std::string::npos : end - at);
    const size_t colon = line.rfind(':');
    if (colon == std::string::npos) return 0;
    return static_cast<quint16>(std::strtoul(line.c_str() + colon + 1, nullptr, 10));
}

} // namespace tarvelo::testing
