#pragma once
// The real tarvelo-pimsim as a child process: start it on a free loopback
// port (or a terminal), read its event lines, type commands into it.
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>

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

inline quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class PimSim {
public:
    ~PimSim() { stop(); }

    // Starts it and waits for its endpoint line.
    bool start(const QStringList& args) {
        E2eApp();
        process_.start(Binary("tarvelo-pimsim"), args);
        return process_.waitForStarted() && waitFor("\n");
    }
    bool startTcp(quint16 port, const std::string& exportFile, QStringList extra = {}) {
        return start(QStringList{"--listen", QString("127.0.0.1:%1").arg(port), "--export",
                                 QString::fromStdString(exportFile), "--fast"} +
                     extra);
    }
    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    void command(const std::string& line) {
        process_.write((line + "\n").c_str());
        process_.waitForBytesWritten(1000);
    }

    // Waits until the output holds `text` at least `count` times.
    bool waitFor(const std::string& text, int count = 1, int timeoutMs = 20000) {
        QElapsedTimer t;
        t.start();
        while (true) {
            out_ += process_.readAllStandardOutput().toStdString();
            if (occurrences(text) >= count) return true;
            if (t.elapsed() > timeoutMs || process_.state() == QProcess::NotRunning) return false;
            process_.waitForReadyRead(50);
        }
    }
    int occurrences(const std::string& text) {
        out_ += process_.readAllStandardOutput().toStdString();
        int n = 0;
        for (size_t at = out_.find(text); at != std::string::npos; at = out_.find(text, at + text.size())) ++n;
        return n;
    }
    const std::string& output() {
        out_ += process_.readAllStandardOutput().toStdString();
        return out_;
    }

private:
    QProcess process_;
    std::string out_;
};

} // namespace tarvelo::testing
