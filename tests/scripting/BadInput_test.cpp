// Hostile or broken scripts end in an error with a position, never a crash or a hang.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "scripting/vbscript/Engine.h"

using namespace tarvelo::vbs;

namespace {

ScriptErrorInfo Compile(const std::string& code) {
    Engine e;
    e.SetTimeout(5000);
    try {
        e.AddCode(code);
    } catch (const ScriptException& ex) {
        return ex.info;
    }
    return {};
}

}  // namespace

TEST(BadInput, DeepNestingIsASyntaxErrorNotAStackOverflow) {
    std::string parens = "x = " + std::string(10000, '(') + "1" + std::string(10000, ')') + "\n";
    ScriptErrorInfo err = Compile(parens);
    EXPECT_NE(err.number, 0);
    EXPECT_EQ(err.line, 1);
    EXPECT_GT(err.column, 0);

    std::string ifs;
    for (int i = 0; i < 10000; ++i) ifs += "If True Then\n";
    for (int i = 0; i < 10000; ++i) ifs += "End If\n";
    EXPECT_NE(Compile(ifs).number, 0);

    std::string chain = "x = 1";
    for (int i = 0; i < 100000; ++i) chain += " + 1";
    EXPECT_NE(Compile(chain + "\n").number, 0);
    std::string members = "x = a";
    for (int i = 0; i < 100000; ++i) members += ".b";
    EXPECT_NE(Compile(members + "\n").number, 0);

    std::string unary = "x = " + std::string(10000, '-') + "1\n";
    EXPECT_NE(Compile(unary).number, 0);
    std::string nots = "x = ";
    for (int i = 0; i < 10000; ++i) nots += "Not ";
    EXPECT_NE(Compile(nots + "1\n").number, 0);
}

TEST(BadInput, UnterminatedStringsAndBlocksHavePositions) {
    ScriptErrorInfo s = Compile("a = 1\nb = \"open\n");
    EXPECT_EQ(s.number, 1033);
    EXPECT_EQ(s.line, 2);
    EXPECT_EQ(s.column, 5);
    EXPECT_EQ(Compile("Sub X()\n  a = 1\n").number, 1014);
    EXPECT_EQ(Compile("Do\n").number, 1014);
    EXPECT_EQ(Compile("Class K\n").number, 1014);
    EXPECT_EQ(Compile("x = #12/").number, 1032);
}

TEST(BadInput, EndlessRecursionIsOutOfStackSpace) {
    ScriptErrorInfo e = Compile("Sub R(n)\nR n + 1\nEnd Sub\nR 0\n");
    EXPECT_EQ(e.number, 28);
    EXPECT_EQ(e.line, 2);
    // Through a class method and a property as well.
    EXPECT_EQ(Compile("Class C\nProperty Get P\nP = Me.P\nEnd Property\nEnd Class\nSet o = New C\nx = o.P\n").number, 28);
}

TEST(BadInput, DroppingALongChainOfObjectsDoesNotRecurse) {
    Engine e;
    e.AddCode("Class Cell\nPublic Nxt\nEnd Class\nDim head, n, i\nSet head = Nothing\n"
              "For i = 1 To 200000\nSet n = New Cell\nSet n.Nxt = head\nSet head = n\nNext\n"
              "Set n = Nothing\nSet head = Nothing\n");
    EXPECT_TRUE(e.Eval("head Is Nothing").RawBool());
}

TEST(BadInput, LargeScriptRuns) {
    std::string code = "Dim total\n";
    while (code.size() < 5u * 1024 * 1024) code += "total = total + 1 ' padding padding padding padding\n";
    Engine e;
    e.AddCode(code);
    EXPECT_GT(ToLong(e.Eval("total")), 90000);
}

TEST(BadInput, BinaryGarbageGivesAnErrorWithAPosition) {
    std::mt19937 rng(42);
    for (int round = 0; round < 200; ++round) {
        std::string code(1 + rng() % 400, '\0');
        for (char& c : code) c = static_cast<char>(rng());
        ScriptErrorInfo e = Compile(code);
        if (e.number != 0 && e.number < 1000) continue;  // it ran and failed at run time
        if (e.number != 0) {
            EXPECT_GE(e.line, 1);
            EXPECT_GE(e.column, 1);
        }
    }
}
