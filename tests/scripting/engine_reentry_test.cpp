// A host object's member that runs script procedures while a script is
// running (the host object's Run and RunEx do).
#include <gtest/gtest.h>

#include "scripting/vbscript/Engine.h"

using namespace tarvelo::vbs;

namespace {

class Runner : public Object {
public:
    explicit Runner(Engine& e) : e_(e) {}
    std::string TypeName() const override { return "Runner"; }
    bool HasMember(std::string_view n) const override { return NameEquals(n, "again"); }
    Value Invoke(std::string_view, InvokeKind, CallArgs& a) override {
        ScriptModule m = e_.AddModule("Other");
        m.AddCode("Function Twice(x)\n  Twice = x & x\nEnd Function\n");
        return m.Run("Twice", {a[0]});
    }

private:
    Engine& e_;
};

} // namespace

TEST(EngineReentry, ProcedureWithoutLocalsCallsIntoTheEngineAgain) {
    Engine e;
    e.AddObject("host", MakeRef<Runner>(e), true);
    ScriptModule m = e.AddModule("Main");
    // The outer procedure has no locals: its frame is empty.
    m.AddCode("Dim result\nSub Go()\n  result = result & Again(\"a\") & Again(\"b\")\nEnd Sub\n");
    m.Run("Go");
    m.Run("Go");
    EXPECT_EQ(ToString(m.Eval("result")), "aabbaabb");
}
