#include <gtest/gtest.h>

#include "support/CommaLocale.h"

#include <chrono>
#include <clocale>
#include <string>

#include "scripting/vbscript/Engine.h"

using namespace tarvelo::vbs;

namespace {

// A host object with one property and one method, like the gateway's "xap".
class Host : public Object {
public:
    std::string TypeName() const override { return "Host"; }
    Value Invoke(std::string_view name, InvokeKind, CallArgs& args) override {
        if (NameEquals(name, "Level")) return Value::Long(level);
        if (name.empty() || NameEquals(name, "Item")) {  // default member: a collection of three
            args.Require(1, 1);
            return Value::Str("item" + ToString(args[0]));
        }
        if (NameEquals(name, "Note")) {
            args.Require(1, 1);
            log += ToString(args[0]) + ";";
            return Value();
        }
        Raise(438);
    }
    void Assign(std::string_view name, InvokeKind, CallArgs&, const Value& v) override {
        if (!NameEquals(name, "Level")) Raise(438);
        level = ToLong(v);
    }
    bool Enumerate(std::vector<Value>& out) override {
        for (int i = 1; i <= 3; ++i) out.push_back(Value::Int(static_cast<int16_t>(i)));
        return true;
    }
    bool HasMember(std::string_view name) const override { return NameEquals(name, "Level") || NameEquals(name, "Note"); }
    int32_t level = 7;
    std::string log;
};

ScriptErrorInfo Failure(const std::function<void()>& f) {
    try {
        f();
    } catch (const ScriptException& e) {
        return e.info;
    }
    ADD_FAILURE() << "no error raised";
    return {};
}

}  // namespace

TEST(Engine, SyntaxErrorReportsLineAndColumnAndKeepsEarlierCode) {
    Engine e;
    ScriptModule m = e.AddModule("M");
    m.AddCode("Dim kept\nkept = 5\n");
    ScriptErrorInfo err = Failure([&] { m.AddCode("x = 1\ny = 2\nIf x Then y = = 3\n"); });
    EXPECT_EQ(err.line, 3);
    EXPECT_EQ(err.column, 15);
    EXPECT_EQ(e.Error().number, err.number);
    EXPECT_FALSE(e.Error().description.empty());
    // The failed piece added nothing; the earlier one is intact.
    EXPECT_EQ(ToLong(m.Eval("kept")), 5);
    EXPECT_TRUE(m.Eval("x").IsEmpty());
    e.Error().Clear();
    EXPECT_EQ(e.Error().number, 0);
    EXPECT_EQ(e.Error().line, 0);
    EXPECT_EQ(e.Error().column, 0);
    EXPECT_TRUE(e.Error().description.empty());
}

TEST(Engine, ProceduresListNameArgumentCountAndResult) {
    Engine e;
    ScriptModule m = e.AddModule("M");
    m.AddCode("Sub A(x)\nEnd Sub\nFunction B()\nB = 2\nEnd Function\n");
    auto procs = m.Procedures();
    ASSERT_EQ(procs.size(), 2u);
    EXPECT_EQ(procs[0].name, "A");
    EXPECT_EQ(procs[0].numArgs, 1);
    EXPECT_FALSE(procs[0].hasReturnValue);
    EXPECT_EQ(procs[1].name, "B");
    EXPECT_EQ(procs[1].numArgs, 0);
    EXPECT_TRUE(procs[1].hasReturnValue);
}

TEST(Engine, CodeAddedInPiecesAccumulatesAndTopLevelRunsAtOnce) {
    Engine e;
    ScriptModule m = e.AddModule("M");
    m.AddCode("Dim count\ncount = 1\n");
    m.AddCode("Function Twice(n)\nTwice = n * 2\nEnd Function\ncount = count + 1\n");
    m.AddCode("Sub Main(tag)\ncount = count + Twice(tag)\nEnd Sub\n");
    m.Run("Main", {Value::Int(10)});
    EXPECT_EQ(ToLong(m.Eval("count")), 22);
}

TEST(Engine, RunPassesArgumentsByReferenceAndReturnsTheResult) {
    Engine e;
    ScriptModule m = e.AddModule("M");
    m.AddCode("Function Swap(a, b)\nDim t: t = a: a = b: b = t\nSwap = a & b\nEnd Function\n");
    std::vector<Value> args{Value::Str("x"), Value::Str("y")};
    Value r = m.RunByRef("Swap", args);
    EXPECT_EQ(ToString(r), "yx");
    EXPECT_EQ(ToString(args[0]), "y");
    EXPECT_EQ(ToString(args[1]), "x");
    EXPECT_EQ(Failure([&] { m.Run("Swap", {}); }).number, 450);
    EXPECT_EQ(Failure([&] { m.Run("Nope", {}); }).number, 35);
}

TEST(Engine, RunTimeErrorReachesTheCallerWithItsLine) {
    Engine e;
    ScriptModule m = e.AddModule("M");
    m.AddCode("Sub Main()\n  Dim a\n  a = \"x\" * 2\nEnd Sub\n");
    ScriptErrorInfo err = Failure([&] { m.Run("Main"); });
    EXPECT_EQ(err.number, 13);
    EXPECT_EQ(err.line, 3);
    EXPECT_EQ(err.column, 3);
    EXPECT_EQ(e.Error().number, 13);
}

TEST(Engine, TimeOutStopsAnEndlessLoopAndTheEngineGoesOn) {
    Engine e;
    e.SetTimeout(200);
    ScriptModule m = e.AddModule("M");
    m.AddCode("Sub Spin()\nOn Error Resume Next\nDo: Loop\nEnd Sub\nFunction Ok()\nOk = 1\nEnd Function\n");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Failure([&] { m.Run("Spin"); }).number, kTimeoutError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(ToLong(m.Run("Ok")), 1);
    // Top-level code of AddCode is a call too.
    EXPECT_EQ(Failure([&] { m.AddCode("While True\nWend\n"); }).number, kTimeoutError);
}

TEST(Engine, AWaitingNativeStopsAtTheTimeOut) {
    Engine e;
    e.SetTimeout(100);
    e.GetRuntime().AddFunction("Pause", [](Runtime& rt, CallArgs& a) {
        rt.Sleep(ToLong(a[0]));
        return Value();
    }, 1, 1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Failure([&] { e.AddCode("On Error Resume Next\nPause 20000\n"); }).number, kTimeoutError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    e.AddCode("Pause 10\n");  // a short wait within the time-out
}

namespace {
// A host object over a virtual clock: Advance moves it, Pause waits through
// the engine (Runtime::Sleep).
class VirtualClockHost : public Object {
public:
    VirtualClockHost(Runtime& rt, int64_t& now) : rt_(rt), now_(now) {}
    std::string TypeName() const override { return "Clock"; }
    Value Invoke(std::string_view name, InvokeKind, CallArgs& args) override {
        args.Require(1, 1);
        if (NameEquals(name, "Advance")) now_ += ToLong(args[0]);
        else if (NameEquals(name, "Pause")) rt_.Sleep(ToLong(args[0]));
        else Raise(438);
        return Value();
    }

private:
    Runtime& rt_;
    int64_t& now_;
};
}  // namespace

// The host's clock and pause replace the thread's: the time-out counts the
// host's time, and no pause sleeps the thread.
TEST(Engine, TimeOutAndPausesRunOnTheHostsClock) {
    Engine e;
    int64_t now = 5000;
    long paused = 0;
    e.Host().time.monotonicMillis = [&] { return now; };
    e.Host().time.sleep = [&](long ms) {
        paused += ms;
        now += ms;
    };
    e.SetTimeout(1000);
    e.AddObject("Clock", MakeRef<VirtualClockHost>(e.GetRuntime(), now), false);

    e.AddCode("Clock.Pause 300\n");
    EXPECT_EQ(paused, 300);
    EXPECT_EQ(now, 5300);

    // A pause longer than the time-out ends at the time-out.
    int64_t start = now;
    EXPECT_EQ(Failure([&] { e.AddCode("On Error Resume Next\nClock.Pause 600000\n"); }).number, kTimeoutError);
    EXPECT_GE(now - start, 1000);
    EXPECT_LE(now - start, 1100);

    // An endless loop ends when the host's clock passes the time-out.
    start = now;
    EXPECT_EQ(Failure([&] { e.AddCode("Do: Clock.Advance 1: Loop\n"); }).number, kTimeoutError);
    EXPECT_GE(now - start, 1000);

    // Reset keeps the hooks.
    e.Reset();
    e.AddObject("Clock", MakeRef<VirtualClockHost>(e.GetRuntime(), now), false);
    paused = 0;
    e.AddCode("Clock.Pause 40\n");
    EXPECT_EQ(paused, 40);
}

TEST(Engine, NumberLiteralsIgnoreTheProcessLocale) {
    // The program runs with the user's locale, which may write decimals with a comma.
    if (!tarvelo::testing::UseCommaLocale()) GTEST_SKIP() << "no locale with a decimal comma available";
    Engine e;
    double product = ToDouble(e.Eval("1.5 * 2"));
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(product, 3.0);
}

TEST(Engine, AddedObjectAndItsMembersAreGlobalNames) {
    Engine e;
    auto host = MakeRef<Host>();
    e.AddObject("xap", host, true);
    ScriptModule m = e.AddModule("M");
    m.AddCode("Sub Main()\nNote Level\nxap.Note xap.Level + 1\nLevel = 3\nEnd Sub\n");
    m.Run("Main");
    EXPECT_EQ(host->log, "7;8;");
    EXPECT_EQ(host->level, 3);
}

TEST(Engine, HostCollectionsEnumerateAndHaveDefaultMembers) {
    Engine e;
    auto host = MakeRef<Host>();
    e.AddObject("xap", host, false);
    e.AddCode("Dim s\nFor Each i In xap\ns = s & i & xap(i) & \",\"\nNext\n");
    EXPECT_EQ(ToString(e.Eval("s")), "1item1,2item2,3item3,");
    // Without addMembers the members are not global names.
    EXPECT_TRUE(e.Eval("Level").IsEmpty());
}

TEST(Engine, ModulesKeepTheirOwnNamesAndShareTheGlobalModule) {
    Engine e;
    e.AddCode("Function Shared()\nShared = \"g\"\nEnd Function\n");
    ScriptModule a = e.AddModule("A"), b = e.AddModule("B");
    a.AddCode("Function Main(t)\nMain = \"a\" & t & Shared()\nEnd Function\n");
    b.AddCode("Function Main(t)\nMain = \"b\" & t\nEnd Function\n");
    EXPECT_EQ(ToString(a.Run("Main", {Value::Str("1")})), "a1g");
    EXPECT_EQ(ToString(b.Run("Main", {Value::Str("2")})), "b2");
}

TEST(Engine, ResetDropsCodeAndTwoEnginesAreIndependent) {
    Engine e1, e2;
    e1.AddCode("Dim v\nv = 1\n");
    e2.AddCode("Dim v\nv = 2\n");
    EXPECT_EQ(ToLong(e1.Eval("v")), 1);
    EXPECT_EQ(ToLong(e2.Eval("v")), 2);
    e1.Reset();
    EXPECT_TRUE(e1.Eval("v").IsEmpty());
    e1.ExecuteStatement("v = 3");
    EXPECT_EQ(ToLong(e1.Eval("v")), 3);
    EXPECT_EQ(e1.Language(), "VBScript");
    EXPECT_FALSE(e1.SetLanguage("JScript"));
}

TEST(Engine, ClassTerminateRunsWhenTheEngineGoes) {
    auto host = MakeRef<Host>();
    {
        Engine e;
        e.AddObject("xap", host, true);
        e.AddCode("Class C\nSub Class_Terminate()\nNote \"bye\"\nEnd Sub\nEnd Class\nDim keep\nSet keep = New C\n");
    }
    EXPECT_EQ(host->log, "bye;");
}

TEST(Engine, ObjectsInACycleAreFreedWithTheEngine) {
    struct Probe : Object {
        explicit Probe(bool& f) : freed(f) {}
        ~Probe() override { freed = true; }
        std::string TypeName() const override { return "Probe"; }
        bool& freed;
    };
    bool freed = false;
    {
        Engine e;
        e.AddObject("probe", MakeRef<Probe>(freed), false);
        e.AddCode("Class C\nPublic Other, Keep\nEnd Class\nSet a = New C\nSet b = New C\n"
                  "Set a.Other = b\nSet b.Other = a\nSet a.Keep = probe\nSet a = Nothing\nSet b = Nothing\n");
        EXPECT_FALSE(freed);
    }
    EXPECT_TRUE(freed);
}

TEST(Engine, ResetFromInsideARunningCallLetsTheCallFinish) {
    struct Reloader : Object {
        Engine* engine = nullptr;
        std::string TypeName() const override { return "Reloader"; }
        Value Invoke(std::string_view, InvokeKind, CallArgs&) override {
            engine->Reset();
            return Value();
        }
    };
    Engine e;
    auto r = MakeRef<Reloader>();
    r->engine = &e;
    e.AddObject("app", r, false);
    e.AddCode("Function Main()\nDim s: s = \"before\"\napp.Reload\nMain = s & \" after\"\nEnd Function\n");
    EXPECT_EQ(ToString(e.Run("Main")), "before after");
    EXPECT_TRUE(e.GlobalModule().Procedures().empty());
}

TEST(Engine, MessageBoxesAndTheClockGoThroughTheHostHooks) {
    Engine e;
    std::string seen;
    e.Host().echo = [&](const std::string& line) { seen += line + "|"; };
    e.Host().now = [] { return 46362.5; };  // 2026-12-06 12:00
    e.AddCode("MsgBox \"first\"\nx = InputBox(\"name?\", \"t\", \"guest\")\n");
    EXPECT_EQ(seen, "first|name?|");
    EXPECT_EQ(ToString(e.Eval("x")), "guest");
    EXPECT_EQ(ToLong(e.Eval("Year(Now) * 100 + Hour(Now)")), 202612);
    e.Reset();  // hooks stay
    e.AddCode("MsgBox \"after reset\"\n");
    EXPECT_EQ(seen, "first|name?|after reset|");
}
