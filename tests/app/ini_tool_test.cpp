#include <gtest/gtest.h>

#include "app/IniTool.h"
#include "support/TempDir.h"

using namespace tarvelo;
using namespace tarvelo::app;
using tarvelo::testing::CapturingLog;
using tarvelo::testing::ReadFile;
using tarvelo::testing::TempDir;
using tarvelo::testing::WriteFile;

namespace {
IniTool Loaded(const TempDir& dir, const std::string& text, LogSink* log = nullptr) {
    WriteFile(dir / "t.ini", text);
    IniTool ini(log);
    ini.Load(dir / "t.ini");
    return ini;
}
} // namespace

TEST(IniTool, SectionsAndKeysIgnoreCaseAndTheFirstValueWins) {
    TempDir dir;
    IniTool ini = Loaded(dir, "[upb]\r\nPort=3\r\n[UPB]\r\nport=4\r\n");
    EXPECT_EQ(ini.Read("Upb", "PORT", "x"), "3");
    EXPECT_EQ(ini.Headers(), (std::vector<std::string>{"upb"}));
    EXPECT_EQ(ini.Keys("UPB"), (std::vector<std::string>{"Port"}));
}

TEST(IniTool, KeyAndValueAreNotTrimmedAroundTheEqualSignAndEmptyGivesTheDefault) {
    TempDir dir;
    IniTool ini = Loaded(dir, "[s]\n  a = b  \nc=x=y\nk=\n");
    EXPECT_EQ(ini.Read("s", "a", "missing"), "missing");
    EXPECT_EQ(ini.Read("s", "a ", "missing"), " b");  // the line is trimmed, the parts are not
    EXPECT_EQ(ini.Read("s", "c", ""), "x=y");
    EXPECT_EQ(ini.Read("s", "k", "dflt"), "dflt");
}

TEST(IniTool, CommentsBlankLinesGarbageAndKeysBeforeAnyHeader) {
    TempDir dir;
    CapturingLog log;
    IniTool ini = Loaded(dir, "top=1\n; comment\n\n[s]\ngarbage\n\tk=v\n[]\ne=2\n", &log);
    EXPECT_EQ(ini.Read("", "top", ""), "1");
    EXPECT_EQ(ini.Read("", "e", ""), "2");
    EXPECT_EQ(ini.Read("s", "\tk", ""), "v");  // tabs are not blanks
    EXPECT_EQ(log.entries, (std::vector<std::pair<std::string, std::string>>{
                               {"IniTool", " Equal sign not found on line garbage"}}));
}

TEST(IniTool, ReadsAnyLineEnd) {
    TempDir dir;
    for (const char* text : {"[s]\r\nk=v\r\n", "[s]\rk=v\r"}) EXPECT_EQ(Loaded(dir, text).Read("s", "k", ""), "v");
}

TEST(IniTool, RemoveSectionKeepsTheHeaderButSaveDropsIt) {
    TempDir dir;
    IniTool ini = Loaded(dir, "[X]\na=1\nb=2\n[Y]\nc=3\n");
    ini.RemoveSection("x");
    EXPECT_EQ(ini.Headers(), (std::vector<std::string>{"X", "Y"}));
    EXPECT_EQ(ini.Keys("X"), (std::vector<std::string>{""}));
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(dir / "t.ini"), "[Y]\r\nc=3\r\n");
}

TEST(IniTool, KeysSkipsBlankNamesAndMatchesTheWholeSectionName) {
    TempDir dir;
    IniTool ini = Loaded(dir, "[ab]\n =1\nk=2\n[a]\nz=3\n");
    EXPECT_EQ(ini.Keys("AB"), (std::vector<std::string>{"k"}));
    EXPECT_EQ(ini.Keys("a"), (std::vector<std::string>{"z"}));
}

TEST(IniTool, SaveSortsUpperCasesHeadersAndKeepsABackup) {
    TempDir dir;
    IniTool ini = Loaded(dir, "[Upb]\r\nb=2\r\na=1\r\n");
    ini.WriteKey("", "top", "t");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(dir / "t.ini"), "top=t\r\n[UPB]\r\na=1\r\nb=2\r\n");
    EXPECT_EQ(ReadFile(dir / "t.ini_bck"), "[Upb]\r\nb=2\r\na=1\r\n");
}

TEST(IniTool, ValuesWithLineBreaksCannotInjectKeysOrSections) {
    TempDir dir;
    IniTool ini;
    ini.Load(dir / "new.ini");
    ini.WriteKey("UPB", "Tag", "Hall\r\n[Evil]\r\nUPBCommPort=9");
    ASSERT_TRUE(ini.Save());
    IniTool back;
    back.Load(dir / "new.ini");
    EXPECT_EQ(back.Headers(), (std::vector<std::string>{"UPB"}));
    EXPECT_EQ(back.Read("UPB", "Tag", ""), "Hall  [Evil]  UPBCommPort=9");
    EXPECT_EQ(back.Read("Evil", "UPBCommPort", "none"), "none");
}

TEST(IniTool, AFailureInTheMiddleOfASaveKeepsThePreviousFile) {
    TempDir dir;
    CapturingLog log;
    const std::string before = "[S]\r\na=1\r\nb=2\r\nc=3\r\n";
    IniTool ini = Loaded(dir, before, &log);
    ini.WriteKey("S", "d", "4");
    ini.beforeWriteLine = [](size_t n) {
        if (n == 3) throw std::runtime_error("disk full");
    };
    EXPECT_FALSE(ini.Save());
    EXPECT_EQ(ReadFile(dir / "t.ini"), before);
    EXPECT_FALSE(std::filesystem::exists(dir / "t.ini.tmp"));
    EXPECT_TRUE(log.has("IniTool Save" + (dir / "t.ini").string()));
    // The next save goes through and holds every key.
    ini.beforeWriteLine = nullptr;
    EXPECT_TRUE(ini.Save());
    EXPECT_EQ(ReadFile(dir / "t.ini"), "[S]\r\na=1\r\nb=2\r\nc=3\r\nd=4\r\n");
}

TEST(IniTool, BinaryBytesAndAHugeLineDoNotBreakTheRest) {
    TempDir dir;
    std::string text = "[S]\n";
    text += std::string("\x01\x02\x03\xff\x00garbage", 12) + "\n";
    text += "big=" + std::string(1 << 20, 'x') + "\n";
    text += "k=v\n";
    CapturingLog log;
    IniTool ini = Loaded(dir, text, &log);
    EXPECT_EQ(ini.Read("S", "k", ""), "v");
    EXPECT_EQ(ini.Read("S", "big", "").size(), size_t(1) << 20);
    EXPECT_EQ(log.entries.size(), 1u);
    EXPECT_TRUE(ini.Save());
}
