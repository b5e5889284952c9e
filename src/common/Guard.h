#pragma once
// The error convention: a procedure that meets an unexpected error writes one
// log entry naming itself and ends; its caller goes on. Inside, errors are
// exceptions; Guard catches them at the procedure's boundary.

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarvelo {

// Receives program log entries (type, data).
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void WriteLog(const std::string& type, const std::string& data) = 0;
};

class VbError : public std::runtime_error {
public:
    // The line defaults to the line that raised the error.
    explicit VbError(const std::string& description, int line = __builtin_LINE())
        : std::runtime_error(description), line_(line) {}
    int line() const { return line_; }

private:
    int line_;
};

// " Line " + line + " " + description, the suffix of an error entry.
std::string ErrorSuffix(const std::exception& error);

// Runs body(); an exception is logged (type "Tarvelo") as the procedure name
// followed by the error suffix, and swallowed. Returns false when it failed.
template <class Body>
bool Guard(LogSink* log, std::string_view procedure, Body&& body) {
    try {
        body();
        return true;
    } catch (const std::exception& error) {
        if (log) log->WriteLog("Tarvelo", std::string(procedure) + ErrorSuffix(error));
        return false;
    }
}

} // namespace tarvelo
