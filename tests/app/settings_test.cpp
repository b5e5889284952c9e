#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "app/ProgramSettings.h"
#include "app/SettingsCache.h"
#include "sim/SimPlatform.h"
#include "support/TempDir.h"

using namespace tarvelo;
using namespace tarvelo::app;
using tarvelo::testing::CapturingLog;
using tarvelo::testing::ReadFile;
using tarvelo::testing::TempDir;
using tarvelo::testing::WriteFile;
namespace fs = std::filesystem;

namespace {
// Pushes a file's modification time forward, as an edit by hand would.
void Touch(const fs::path& p, int seconds) {
    fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(seconds));
}
} // namespace

TEST(SettingsCache, CreatesMissingFilesAndDefaultsToSettingsIni) {
    TempDir dir;
    SettingsCache cache(dir.path(), nullptr);
    EXPECT_EQ(cache.GetIniSetting("S", "k", "d"), "d");
    EXPECT_TRUE(fs::exists(dir / "settings.ini"));
    EXPECT_EQ(cache.GetIniIndex("Tarvelo.ini", false), 2);
    EXPECT_EQ(cache.GetIniIndex("TARVELO.INI", false), 2);  // one entry per file, any case
    EXPECT_EQ(cache.count(), 2);
}

// A script that names "tarvelo.ini" means the program's Tarvelo.ini: no
// empty twin appears, reads see its settings, and saves land in it.
TEST(SettingsCache, AFileNameFindsTheFileWhateverItsCase) {
    TempDir dir;
    WriteFile(dir / "Tarvelo.ini", "[UPB]\r\nUID=FF.1234:00\r\n");
    WriteFile(dir / "Sub" / "Other.INI", "[S]\r\nk=deep\r\n");
    auto names = [&] {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(dir.path()))
            out.push_back(fs::relative(e.path(), dir.path()).generic_string());
        std::sort(out.begin(), out.end());
        return out;
    };
    for (const std::string first : {"Tarvelo.ini", "tarvelo.ini"}) {
        SettingsCache cache(dir.path(), nullptr);
        EXPECT_EQ(cache.GetIniSetting("UPB", "UID", "", first), "FF.1234:00") << first;
        EXPECT_EQ(cache.GetIniSetting("UPB", "UID", "", "TARVELO.INI"), "FF.1234:00") << first;
        EXPECT_EQ(cache.GetIniSetting("S", "k", "", "sub/other.ini"), "deep");
    }
    SettingsCache cache(dir.path(), nullptr);
    cache.SaveIniSetting("UPB", "Tag", "x", "tarvelo.INI");
    // A file that exists in no spelling is created as named.
    EXPECT_EQ(cache.GetIniSetting("S", "k", "none", "New.Ini"), "none");
    cache.FlushIniCache();
    EXPECT_EQ(ReadFile(dir / "Tarvelo.ini"), "[UPB]\r\nTag=x\r\nUID=FF.1234:00\r\n");
    EXPECT_EQ(names(), (std::vector<std::string>{"New.Ini", "Sub", "Sub/Other.INI", "Tarvelo.ini", "Tarvelo.ini_bck"}));
}

TEST(SettingsCache, ReadsPickUpAFileChangedOnDiskButWritesNeverDiscardUnsavedChanges) {
    TempDir dir;
    WriteFile(dir / "a.ini", "[S]\nk=1\n");
    SettingsCache cache(dir.path(), nullptr);
    EXPECT_EQ(cache.GetIniSetting("S", "k", "", "a.ini"), "1");
    WriteFile(dir / "a.ini", "[S]\nk=2\n");
    Touch(dir / "a.ini", 5);
    EXPECT_EQ(cache.GetIniSetting("S", "k", "", "a.ini"), "2");
    cache.SaveIniSetting("S", "first", "kept", "a.ini");
    WriteFile(dir / "a.ini", "[S]\nk=3\n");
    Touch(dir / "a.ini", 10);
    cache.SaveIniSetting("S", "second", "also", "a.ini");
    cache.FlushIniCache();
    // The flush overwrites the change made on disk meanwhile, as documented.
    EXPECT_EQ(ReadFile(dir / "a.ini"), "[S]\r\nfirst=kept\r\nk=2\r\nsecond=also\r\n");
    EXPECT_FALSE(cache.changed(1));
}

namespace {
// A loop whose turn ends only when the test says so: posted calls wait.
struct HeldTurns : sim::SimPlatform {
    std::vector<std::function<void()>> held;
    void post(std::function<void()> call) override { held.push_back(std::move(call)); }
    void endTurn() {
        auto calls = std::move(held);
        held.clear();
        for (auto& c : calls) c();
    }
};
} // namespace

// With a loop, a file's time is looked at once per turn (and once a second
// within a long one): an edit by hand reaches the next event that reads the
// file, or any read after a flush.
TEST(SettingsCache, WithALoopAnEditOnDiskIsSeenByTheNextTurnAfterASecondOrAfterAFlush) {
    TempDir dir;
    HeldTurns loop;
    WriteFile(dir / "a.ini", "[S]\nk=1\n");
    SettingsCache cache(dir.path(), nullptr, &loop);
    auto edit = [&, seconds = 0](const std::string& value) mutable {
        WriteFile(dir / "a.ini", "[S]\nk=" + value + "\n");
        Touch(dir / "a.ini", seconds += 5);
    };
    EXPECT_EQ(cache.GetIniSetting("S", "k", "", "a.ini"), "1");
    edit("2");
    EXPECT_EQ(cache.GetIniSetting("S", "k", "", "a.ini"), "1");  // same turn: served from memory
    loop.endTurn();
    EXPECT_EQ(cache.GetIniSetting("S", "k", "", "a.ini"), "2");

    edit("3");
    loop.advance(999);
    EXPECT_EQ(cache.GetIniSetting("S", "k", "", "a.ini"), "2");
    loop.advance(1);
    EXPECT_EQ(cache.GetIniSetting("S", "k", "", "a.ini"), "3");

    edit("4");
    cache.FlushIniCache();
    EXPECT_EQ(cache.GetIniSetting("S", "k", "", "a.ini"), "4");

    // A save in the same turn as an unseen edit keeps its change, as a save
    // that looked at the file would have: the next look does not reload.
    edit("5");
    cache.SaveIniSetting("S", "mine", "kept", "a.ini");
    loop.endTurn();
    EXPECT_EQ(cache.GetIniSetting("S", "mine", "", "a.ini"), "kept");
    EXPECT_EQ(cache.GetIniSetting("S", "k", "", "a.ini"), "4");
    // Once looked at, a later edit is loaded again as usual.
    edit("6");
    loop.endTurn();
    EXPECT_EQ(cache.GetIniSetting("S", "k", "", "a.ini"), "6");
}

TEST(SettingsCache, FlushWritesOnlyChangedFiles) {
    TempDir dir;
    WriteFile(dir / "a.ini", "[s]\nk=1\n");
    WriteFile(dir / "b.ini", "[s]\nk=1\n");
    SettingsCache cache(dir.path(), nullptr);
    cache.GetIniSetting("s", "k", "", "a.ini");
    cache.SaveIniSetting("s", "k", "2", "b.ini");
    cache.FlushIniCache();
    EXPECT_EQ(ReadFile(dir / "a.ini"), "[s]\nk=1\n");  // untouched, not even re-sorted
    EXPECT_EQ(ReadFile(dir / "b.ini"), "[S]\r\nk=2\r\n");
    EXPECT_TRUE(fs::exists(dir / "b.ini_bck"));
}

// A folder that cannot be written (its name is taken by a file) and a file
// that cannot be read (a folder stands there): every read gives its default,
// the failed save is logged, and what is on disk is left as it was.
TEST(SettingsCache, UnusableFilesLeaveDefaultsAndLogTheFailedSave) {
    TempDir dir;
    WriteFile(dir / "NotAFolder", "x");
    fs::create_directories(dir / "Tarvelo.ini" / "inside");
    struct Case {
        fs::path folder;
        std::string problem;
    };
    for (const Case& c : {Case{dir / "NotAFolder", " Unable to create "}, Case{dir.path(), " Unable to read "}}) {
        CapturingLog log;
        SettingsCache cache(c.folder, &log);
        EXPECT_EQ(cache.GetIniSetting("UPB", "HTTPPort", "8016", "Tarvelo.ini"), "8016");
        cache.SaveIniSetting("UPB", "Tag", "x", "Tarvelo.ini");
        cache.FlushIniCache();
        const std::string file = (c.folder / "Tarvelo.ini").string();
        EXPECT_TRUE(log.has(c.problem + file)) << c.problem;
        EXPECT_EQ(log.entries.back().second, "IniTool Save" + file);
    }
    EXPECT_EQ(ReadFile(dir / "NotAFolder"), "x");
    EXPECT_TRUE(fs::is_directory(dir / "Tarvelo.ini" / "inside"));
}

TEST(ProgramSettings, ConversionsOfTheFileValues) {
    TempDir dir;
    WriteFile(dir / "Tarvelo.ini",
              "[UPB]\r\nUPBCommPort=\"2101\"\r\nSerialIP=\"192.0.2.7\"\r\nDebugLog=1\r\nShowSetup=yes\r\n"
              "ShowReceiveMessages=true\r\nShowStatus=3\r\nUID=FF123400\r\nBackground=\"White\"\r\n"
              "PeriodicScriptInterval=90\r\nRain8Modules=1, 2\r\nHTTPPort=9000\r\n");
    SettingsCache cache(dir.path(), nullptr);
    ProgramSettings s;
    s.InitIniKeys(cache, nullptr);
    EXPECT_EQ(s.UPBCommPort, "2101");
    EXPECT_EQ(s.SerialIP, "192.0.2.7");
    EXPECT_TRUE(s.DebugLog);
    EXPECT_FALSE(s.ShowSetup);  // "yes" is neither "true" nor a number
    EXPECT_TRUE(s.ShowReceiveMessages);
    EXPECT_EQ(s.ShowStatus, 3);
    EXPECT_EQ(s.UID, "FF.1234:00");
    EXPECT_EQ(s.Background, "\"White\"");  // quotes are kept for this one
    EXPECT_EQ(s.PeriodicScriptInterval, "90");
    EXPECT_EQ(s.Rain8Modules, "1, 2");
    EXPECT_EQ(s.HTTPPort, "8016");  // the HTTP listener loads its own port
}

TEST(ProgramSettings, AnOverflowingNumberIsLoggedAndTheRestStillLoads) {
    TempDir dir;
    WriteFile(dir / "Tarvelo.ini", "[UPB]\nShowStatus=99999\nRain8Modules=3\n");
    SettingsCache cache(dir.path(), nullptr);
    CapturingLog log;
    ProgramSettings s;
    s.InitIniKeys(cache, &log);
    EXPECT_EQ(s.ShowStatus, 0);
    EXPECT_EQ(s.Rain8Modules, "3");
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].second.rfind("SetIniValue Line ", 0), 0u);
}

TEST(ProgramSettings, UidConversion) {
    EXPECT_EQ(ConvertUID("F"), "F.:00");  // too short for the middle part; the long forms are above
}

TEST(PeriodicSchedule, WholeMinutesAndRemainder) {
    struct Case {
        const char* seconds;
        int intervalMs, wholeMinutes;
    };
    for (const Case& c : {Case{"90", 30000, 1}, Case{"120", 60000, 1}, Case{"45", 45000, 0}}) {
        auto s = PeriodicScriptSchedule(c.seconds);
        EXPECT_TRUE(s.enabled) << c.seconds;
        EXPECT_EQ(std::tie(s.intervalMs, s.wholeMinutes), std::tie(c.intervalMs, c.wholeMinutes)) << c.seconds;
    }
    for (const char* off : {"", "ten", "-30"}) EXPECT_FALSE(PeriodicScriptSchedule(off).enabled) << off;
}
