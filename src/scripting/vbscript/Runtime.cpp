// Registries and host hooks of one engine.
#include "scripting/vbscript/Runtime.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "common/date/Calendar.h"

namespace tarvelo::vbs {

void CallArgs::Require(size_t min, size_t max) const {
    if (n_ < min || n_ > max) Raise(450);
}

Value Object::Invoke(std::string_view, InvokeKind, CallArgs&) { Raise(438); }
void Object::Assign(std::string_view, InvokeKind, CallArgs&, const Value&) { Raise(438); }

Runtime::Runtime() = default;
Runtime::~Runtime() = default;

void Runtime::Sleep(long ms) {
    const int64_t kSlice = 20;
    const int64_t kYear = 365LL * 24 * 3600 * 1000;  // keeps the end time representable
    const int64_t end = MonotonicMillis() + std::min<int64_t>(ms, kYear);
    for (;;) {
        CheckTimeout();
        const int64_t now = MonotonicMillis();
        if (now >= end) return;
        const int64_t slice = std::min(end - now, kSlice);
        if (host_.time.sleep) host_.time.sleep(static_cast<long>(slice));
        else std::this_thread::sleep_for(std::chrono::milliseconds(slice));
    }
}

int64_t Runtime::MonotonicMillis() const {
    if (host_.time.monotonicMillis) return host_.time.monotonicMillis();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void Runtime::AddFunction(std::string_view name, NativeFn fn, int minArgs, int maxArgs) {
    functions_[LowerName(name)] = NativeFunction{std::string(name), fn, minArgs, maxArgs};
}

void Runtime::AddConstant(std::string_view name, Value value) { constants_[LowerName(name)] = std::move(value); }

void Runtime::AddClass(std::string_view progId, ObjectFactory factory) {
    classes_[LowerName(progId)] = std::move(factory);
}

void Runtime::AddNewable(std::string_view className, ObjectFactory factory) {
    newables_[LowerName(className)] = std::move(factory);
}

const NativeFunction* Runtime::FindFunction(std::string_view name) const {
    auto it = functions_.find(LowerName(name));
    return it == functions_.end() ? nullptr : &it->second;
}

const Value* Runtime::FindConstant(std::string_view name) const {
    auto it = constants_.find(LowerName(name));
    return it == constants_.end() ? nullptr : &it->second;
}

ObjectRef Runtime::CreateObject(std::string_view progId) {
    auto it = classes_.find(LowerName(progId));
    if (it == classes_.end()) Raise(429);
    return it->second(*this);
}

ObjectRef Runtime::NewObject(std::string_view className) {
    auto it = newables_.find(LowerName(className));
    if (it == newables_.end()) return nullptr;
    return it->second(*this);
}

double Runtime::Now() const { return host_.now ? host_.now() : SystemNow(); }

void Runtime::Echo(const std::string& line) {
    if (host_.echo) {
        host_.echo(line);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

int Runtime::MsgBox(const std::string& prompt, int buttons, const std::string& title) {
    if (host_.msgBox) return host_.msgBox(prompt, buttons, title);
    Echo(prompt);
    return 1;  // vbOK
}

std::string Runtime::InputBox(const std::string& prompt, const std::string& title, const std::string& def) {
    if (host_.inputBox) return host_.inputBox(prompt, title, def);
    Echo(prompt);
    return def;  // no one to type an answer: the default text
}

double SystemNow() {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    long ms = static_cast<long>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
    localtime_r(&t, &tm);
    const double days = static_cast<double>(vbdate::SerialDay(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday));
    return days + (tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec + ms / 1000.0) / 86400.0;
}

}  // namespace tarvelo::vbs
