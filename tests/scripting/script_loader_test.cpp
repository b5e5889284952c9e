// Loading script files into engine modules: includes first, loops cut,
// unterminated directives, syntax and run-time errors as logged.
#include <gtest/gtest.h>

#include "scripting/Script.h"
#include "support/TempDir.h"

using namespace tarvelo;
using tarvelo::testing::CapturingLog;
using tarvelo::testing::TempDir;
using tarvelo::testing::WriteFile;

namespace {

struct Loader {
    TempDir dir;
    CapturingLog log;
    vbs::Engine engine;
    std::vector<std::string> said;
    Loader() {
        engine.Host().echo = [this](const std::string& line) { said.push_back(line); };
    }
    scripting::Script Load(const std::string& file) {
        scripting::Script s(engine, dir.path(), log);
        s.Add(file, "Main");
        return s;
    }
    std::vector<std::string> Logged(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& e : log.entries)
            if (e.second.rfind(prefix, 0) == 0) out.push_back(e.second);
        return out;
    }
};

} // namespace

TEST(ScriptLoader, IncludedCodeComesFirstAndTheDirectiveIsRemoved) {
    Loader l;
    WriteFile(l.dir / "common.txt", "MsgBox \"common\"\nFunction Helper(x)\n  Helper = \"<\" & x & \">\"\nEnd Function\n");
    WriteFile(l.dir / "Tarvelo.txt", "#include \"common.txt\"\nMsgBox \"main \" & Helper(1)\n");
    auto s = l.Load("Tarvelo.txt");
    EXPECT_EQ(l.said, (std::vector<std::string>{"common", "main <1>"}));
    EXPECT_TRUE(l.log.entries.empty());
    // Windows-style names, and a missing include is skipped silently.
    WriteFile(l.dir / "lib/b.txt", "MsgBox \"b\"\n");
    WriteFile(l.dir / "a.txt", "#Include \"\\lib\\b.txt\"\n#include \"nosuch.txt\"\nMsgBox \"a\"\n");
    l.said.clear();
    l.Load("a.txt");
    EXPECT_EQ(l.said, (std::vector<std::string>{"b", "a"}));
    EXPECT_TRUE(l.log.entries.empty());
}

TEST(ScriptLoader, IncludeLoopsAreCutAndLogged) {
    Loader l;
    WriteFile(l.dir / "self.txt", "#include \"self.txt\"\nMsgBox \"self\"\n");
    l.Load("self.txt");
    WriteFile(l.dir / "a.txt", "#include \"b.txt\"\nMsgBox \"a\"\n");
    WriteFile(l.dir / "b.txt", "#include \"A.TXT\"\nMsgBox \"b\"\n");
    l.Load("a.txt");
    EXPECT_EQ(l.said, (std::vector<std::string>{"self", "b", "a"}));
    EXPECT_EQ(l.Logged("self.txt: #include").size(), 1u);
    EXPECT_EQ(l.Logged("b.txt: #include").size(), 1u);
}

TEST(ScriptLoader, UnterminatedIncludeEndsTheExpansion) {
    Loader l;
    WriteFile(l.dir / "common.txt", "MsgBox \"common\"\n");
    // The rest of the file is kept as it is; the engine then reports it.
    WriteFile(l.dir / "t.txt", "#include \"common.txt\"\n#include \"open\nMsgBox 1\n");
    l.Load("t.txt");
    EXPECT_EQ(l.said, std::vector<std::string>{"common"});
    EXPECT_EQ(l.Logged("Error in script syntax").size(), 1u);
}

TEST(ScriptLoader, ErrorsAreLoggedWithFileLineAndColumn) {
    Loader l;
    WriteFile(l.dir / "inc.txt", "Sub Good()\nEnd Sub\nx = (1\n");
    WriteFile(l.dir / "t.txt", "#include \"inc.txt\"\nSub Main(tag)\n  Dim a\n  a = 1 / 0\nEnd Sub\n");
    auto s = l.Load("t.txt");
    const auto syntax = l.Logged("Error in script syntax");
    ASSERT_EQ(syntax.size(), 1u);
    EXPECT_EQ(syntax[0], "Error in script syntax Expected ')' / inc.txt Expected ')'@ Line 3 col 7");
    s.Run("main", "x");
    const auto run = l.Logged("Script Run Error");
    ASSERT_EQ(run.size(), 1u);
    EXPECT_EQ(run[0], "Script Run Error Division by zero / 11 - Division by zero@ Line 4 col 3");
    EXPECT_EQ(l.engine.Error().number, 0);
    // An unknown procedure runs nothing and logs nothing.
    EXPECT_TRUE(s.Run("Nothing", "").IsEmpty());
    EXPECT_EQ(l.log.entries.size(), 2u);
}
