#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "scripting/vbscript/Encoding.h"
#include "scripting/vbscript/Engine.h"
#include "scripting/vbscript/ScriptFiles.h"

using namespace tarvelo::vbs;

namespace {

// Files by name, as the loader's reader would find them; records what was read.
struct Files {
    std::map<std::string, std::string> text;
    std::vector<std::string> read;
    ReadScriptFile Reader() {
        return [this](const std::string& name) -> std::optional<std::string> {
            read.push_back(name);
            auto it = text.find(name);
            if (it == text.end()) return std::nullopt;
            return it->second;
        };
    }
};

std::string Utf16(const std::u16string& s, bool littleEndian) {
    std::string out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t c : s) {
        char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        out += littleEndian ? lo : hi;
        out += littleEndian ? hi : lo;
    }
    return out;
}

}  // namespace

TEST(ScriptFiles, IncludedCodeComesFirstAndTheDirectiveIsTakenOut) {
    Files f;
    f.text["a.txt"] = "A1\n#include \"b.txt\"\nA2\n";
    f.text["b.txt"] = "B\n";
    std::vector<std::string> notes;
    auto pieces = ExpandIncludes("main.txt", "M1\n#INCLUDE  \" a.txt \" M2\nM3\n", f.Reader(), notes);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].file, "b.txt");
    EXPECT_EQ(pieces[1].file, "a.txt");
    EXPECT_EQ(pieces[1].text, "A1\n\nA2\n");
    EXPECT_EQ(pieces[2].file, "main.txt");
    EXPECT_EQ(pieces[2].text, "M1\n M2\nM3\n");  // line numbers of what follows stay as they were
    EXPECT_TRUE(notes.empty());
}

TEST(ScriptFiles, MissingIncludesAreSkippedAndEachDirectiveLoadsAgain) {
    Files f;
    f.text["c.txt"] = "C\n";
    std::vector<std::string> notes;
    auto pieces = ExpandIncludes("m", "#include \"c.txt\"#include \"gone.txt\"#include \"c.txt\"x", f.Reader(), notes);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].file, "c.txt");
    EXPECT_EQ(pieces[1].file, "c.txt");
    EXPECT_EQ(pieces[2].text, "x");
    EXPECT_EQ(f.read, (std::vector<std::string>{"c.txt", "gone.txt", "c.txt"}));
}

TEST(ScriptFiles, AnIncludeLoopIsCutWithANoteAndAnUnclosedDirectiveEndsTheExpansion) {
    Files f;
    f.text["a"] = "#include \"b\"A";
    f.text["b"] = "#include \"A\"B";  // names compare without regard to case, like the file system
    std::vector<std::string> notes;
    auto pieces = ExpandIncludes("a", f.text["a"], f.Reader(), notes);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].text, "B");
    EXPECT_EQ(pieces[1].text, "A");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("\"A\""), std::string::npos);

    notes.clear();
    pieces = ExpandIncludes("m", "x\n#include \"never", f.Reader(), notes);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].text, "x\n#include \"never");
}

TEST(ScriptFiles, ByteOrderMarksGiveTheEngineItsEightBitText) {
    // UTF-16 either way round; a character beyond Windows-1252 (and a surrogate pair) becomes "?".
    EXPECT_EQ(ScriptTextFromFile(Utf16(u"x = \"caf\u00e9 \u20ac \u0416\"\r\n", true)), "x = \"caf\xE9 \x80 ?\"\r\n");
    EXPECT_EQ(ScriptTextFromFile(Utf16(u"a\U0001F600b", false)), "a?b");
    // UTF-8 with its mark is converted; a byte that is no UTF-8 stays as it is.
    EXPECT_EQ(ScriptTextFromFile("\xEF\xBB\xBF" "caf\xC3\xA9 \xE2\x82\xAC \xFF"), "caf\xE9 \x80 \xFF");
    // Without a mark the bytes are the text already.
    EXPECT_EQ(ScriptTextFromFile("caf\xE9"), "caf\xE9");
    EXPECT_EQ(ScriptTextFromFile(""), "");
    EXPECT_EQ(CodePointOf(0x80), 0x20ACu);
    EXPECT_EQ(ByteOf(0x20AC), '\x80');
    EXPECT_EQ(ByteOf(0x0416), '?');
}

TEST(ScriptFiles, CheckScriptCompilesWithoutRunning) {
    EXPECT_FALSE(CheckScript("WScript.Quit 3\nundefined.Call\nFunction F : End Function\nFunction F : End Function\n"));
    std::optional<ScriptErrorInfo> err = CheckScript("x = 1\nIf x Then\n");
    ASSERT_TRUE(err);
    EXPECT_EQ(err->number, 1014);
    EXPECT_EQ(err->line, 3);
    EXPECT_EQ(err->source, "Microsoft VBScript compilation error");
    err = CheckScript("Sub P : End Sub\nDim P\n");
    ASSERT_TRUE(err);
    EXPECT_EQ(err->number, 1041);
    EXPECT_EQ(err->line, 2);
}

TEST(ScriptFiles, AnUndefinedNameIsInTheMessageNotInTheDescription) {
    Engine e;
    try {
        e.AddCode("Option Explicit\nx = nowhere\n");
        FAIL() << "no error";
    } catch (const ScriptException& ex) {
        EXPECT_EQ(ex.info.number, 500);
        EXPECT_EQ(ex.info.description, "Variable is undefined");
        EXPECT_EQ(ex.info.source, "Microsoft VBScript runtime error");
        EXPECT_EQ(ex.info.Message(), "Variable is undefined: 'nowhere'");
    }
}
