// Qt adapter for started programs. The child's output goes to ours (the
// journal, for a daemon) instead of piling up unread in our memory, and its
// standard input is empty, so a program that reads it ends instead of hanging.

#include <QProcess>
#include <QStringList>

#include <memory>

#include "platform/qt/QtIo.h"

namespace tarvelo::platform::qt {

namespace {

// Long enough for a loaded machine to fork and exec; start() waits this long
// at most, and only when the program cannot be started at all.
constexpr int kStartWaitMs = 30000;
constexpr int kReapWaitMs = 5000;

class QtProcess final : public Process {
public:
    explicit QtProcess(const QtEdge& edge) : edge_(edge) {
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        process_.setStandardInputFile(QProcess::nullDevice());
        QObject::connect(&process_, &QProcess::finished, &process_, [this](int code, QProcess::ExitStatus status) {
            const int exitCode = status == QProcess::NormalExit ? code : -1;
            edge_.later(life_, "process", [this, exitCode] {
                if (auto handler = onFinished) handler(exitCode);
            });
        });
    }

    ~QtProcess() override {
        if (process_.state() == QProcess::NotRunning) return;
        process_.disconnect();
        process_.kill();
        process_.waitForFinished(kReapWaitMs);  // reap it: no zombie left behind
    }

    bool start(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& workingDir) override {
        if (process_.state() != QProcess::NotRunning) return false;
        QStringList args;
        for (const std::string& a : arguments) args << QString::fromLocal8Bit(a.c_str());
        process_.setWorkingDirectory(QString::fromLocal8Bit(workingDir.c_str()));
        process_.start(QString::fromLocal8Bit(program.c_str()), args);
        return process_.waitForStarted(kStartWaitMs);
    }

    bool running() const override { return process_.state() != QProcess::NotRunning; }

    void kill() override {
        if (process_.state() != QProcess::NotRunning) process_.kill();
    }

private:
    QtEdge edge_;
    QProcess process_;
    std::shared_ptr<char> life_ = std::make_shared<char>();
};

} // namespace

std::unique_ptr<Process> MakeProcess(const QtEdge& edge) { return std::make_unique<QtProcess>(edge); }

} // namespace tarvelo::platform::qt
