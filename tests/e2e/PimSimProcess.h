#pragma once
// The real tarvelo-pimsim as a child process: start it on a loopback port
// of the system's choosing (or a terminal), read its event lines, type
// commands into it.
#include <gtest/gtest.h>

#include <QProcess>

#include <string>

#include "e2e/ProcessHelpers.h"
#include "support/TempDir.h"

namespace tarvelo::testing {

// A small installation on network 1: dimmers 5 and 7, lamp module 12; link 1
// (Evening) is shared by 5 and 12, link 2 (Reading) belongs to 7.
inline const char* kSmallExport =
    "0,5,3,2,1,0\r\n"
    "2,1,Evening\r\n"
    "2,2,Reading\r\n"
    "3,5,1,5,1,3,2,2,1,1,6,Living Room,Ceiling,0\r\n"
    "8,0,5,1,3\r\n"
    "4,0,0,5,1,100,3\r\n"
    "3,12,1,5,1,3,2,2,1,0,6,Living Room,Floor Lamp,0\r\n"
    "8,0,12,1,3\r\n"
    "4,0,0,12,1,50,3\r\n"
    "3,7,1,5,1,3,2,2,1,1,6,Study,Desk Lamp,0\r\n"
    "8,0,7,1,3\r\n"
    "4,0,0,7,2,80,3\r\n"
    "1\r\n";

class PimSim {
public:
    ~PimSim() { stop(); }

    // Starts it and waits for its endpoint line.
    ::testing::AssertionResult start(const QStringList& args) {
        E2eApp();
        process_.start(Binary("tarvelo-pimsim"), args);
        if (!process_.waitForStarted())
            return ::testing::AssertionFailure() << "tarvelo-pimsim did not start: "
                                                 << process_.errorString().toStdString();
        return waitFor("\n");
    }
    // On loopback; port 0 lets the system choose one, read back from the
    // endpoint line (port()).
    ::testing::AssertionResult startTcp(const std::string& exportFile, QStringList extra = {}, quint16 port = 0) {
        auto started = start(QStringList{"--listen", QString("127.0.0.1:%1").arg(port), "--export",
                                         QString::fromStdString(exportFile), "--fast"} +
                             extra);
        if (!started) return started;
        port_ = ListeningPort(out_);
        if (port_ == 0) return ::testing::AssertionFailure() << "no port in the endpoint line: " << out_;
        return ::testing::AssertionSuccess();
    }
    quint16 port() const { return port_; }
    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    void command(const std::string& line) {
        process_.write((line + "\n").c_str());
        process_.waitForBytesWritten(5000);
    }

    // Waits until the output holds `text` at least `count` times.
    ::testing::AssertionResult waitFor(const std::string& text, int count = 1, int timeoutMs = 30000) {
        return WaitForStdout(process_, text, out_, timeoutMs, count);
    }
    int occurrences(const std::string& text) {
        const std::string& out = output();
        int n = 0;
        for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + text.size())) ++n;
        return n;
    }
    const std::string& output() {
        out_ += process_.readAllStandardOutput().toStdString();
        return out_;
    }

private:
    QProcess process_;
    std::string out_;
    quint16 port_ = 0;
};

} // namespace tarvelo::testing
