#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/ProgramSettings.h"
#include "app/SettingsCache.h"
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

TEST(SettingsCache, PicksUpAFileChangedOnDisk) {
    TempDir dir;
    WriteFile(dir / "a.ini", "[S]\nk=1\n");
    SettingsCache cache(dir.path(), nullptr);
    EXPECT_EQ(cache.GetIniSetting("S", "k", "", "a.ini"), "1");
    WriteFile(dir / "a.ini", "[S]\nk=2\n");
    Touch(dir / "a.ini", 5);
    EXPECT_EQ(cache.GetIniSetting("S", "k", "", "a.ini"), "2");
}

TEST(SettingsCache, AWriteNeverDiscardsUnsavedChangesByReloading) {
    TempDir dir;
    WriteFile(dir / "a.ini", "[S]\nk=1\n");
    SettingsCache cache(dir.path(), nullptr);
    cache.SaveIniSetting("S", "first", "kept", "a.ini");
    WriteFile(dir / "a.ini", "[S]\nk=2\n");
    Touch(dir / "a.ini", 5);
    cache.SaveIniSetting("S", "second", "also", "a.ini");
    cache.FlushIniCache();
    // The flush overwrites the change made on disk meanwhile, as documented.
    EXPECT_EQ(ReadFile(dir / "a.ini"), "[S]\r\nfirst=kept\r\nk=1\r\nsecond=also\r\n");
    EXPECT_FALSE(cache.changed(1));
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

TEST(SettingsCache, AConfigFolderThatCannotBeWrittenLeavesDefaultsAndLogsTheFailedSave) {
    TempDir dir;
    WriteFile(dir / "NotAFolder", "x");  // the folder's name is taken by a file
    CapturingLog log;
    SettingsCache cache(dir / "NotAFolder", &log);
    EXPECT_EQ(cache.GetIniSetting("UPB", "HTTPPort", "8016", "Tarvelo.ini"), "8016");
    cache.SaveIniSetting("UPB", "Tag", "x", "Tarvelo.ini");
    cache.FlushIniCache();
    EXPECT_TRUE(log.has(" Unable to create " + (dir / "NotAFolder" / "Tarvelo.ini").string()));
    EXPECT_EQ(log.entries.back().second, "IniTool Save" + (dir / "NotAFolder" / "Tarvelo.ini").string());
    EXPECT_EQ(ReadFile(dir / "NotAFolder"), "x");
}

TEST(SettingsCache, AFileThatCannotBeReadIsNeverSavedOver) {
    TempDir dir;
    fs::create_directories(dir / "Tarvelo.ini" / "inside");  // exists, but is no readable file
    CapturingLog log;
    SettingsCache cache(dir.path(), &log);
    EXPECT_EQ(cache.GetIniSetting("UPB", "UID", "FF.0002:00", "Tarvelo.ini"), "FF.0002:00");
    cache.SaveIniSetting("UPB", "Tag", "x", "Tarvelo.ini");
    cache.FlushIniCache();
    EXPECT_TRUE(log.has(" Unable to read " + (dir / "Tarvelo.ini").string()));
    EXPECT_TRUE(log.has("IniTool Save" + (dir / "Tarvelo.ini").string()));
    EXPECT_TRUE(fs::is_directory(dir / "Tarvelo.ini" / "inside"));
}

TEST(ProgramSettings, DefaultsWhenTheFileIsEmpty) {
    TempDir dir;
    SettingsCache cache(dir.path(), nullptr);
    ProgramSettings s;
    s.InitIniKeys(cache, nullptr);
    EXPECT_EQ(s.UPBCommPort, "");
    EXPECT_EQ(s.Background, "Black");
    EXPECT_EQ(s.StyleSheet, "StyleNoBody.css");
    EXPECT_EQ(s.UID, "FF.0002:00");
    EXPECT_FALSE(s.DebugLog);
    EXPECT_EQ(s.ShowStatus, 0);
    EXPECT_EQ(s.HTTPPort, "8016");
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

TEST(ProgramSettings, UnknownListEntryLoadsNothing) {
    TempDir dir;
    SettingsCache cache(dir.path(), nullptr);
    ProgramSettings s;
    s.SetIniValue(cache, "nosuchkey");
    EXPECT_EQ(s.Background, "Black");
}

TEST(ProgramSettings, UidConversion) {
    EXPECT_EQ(ConvertUID("FF.0002:00"), "FF.0002:00");
    EXPECT_EQ(ConvertUID("FF123400"), "FF.1234:00");
    EXPECT_EQ(ConvertUID("F"), "F.:00");
}

TEST(PeriodicSchedule, WholeMinutesAndRemainder) {
    auto s90 = PeriodicScriptSchedule("90");
    EXPECT_TRUE(s90.enabled);
    EXPECT_EQ(s90.intervalMs, 30000);
    EXPECT_EQ(s90.wholeMinutes, 1);
    auto s120 = PeriodicScriptSchedule("120");
    EXPECT_EQ(s120.intervalMs, 60000);
    EXPECT_EQ(s120.wholeMinutes, 1);
    auto s45 = PeriodicScriptSchedule("45");
    EXPECT_EQ(s45.intervalMs, 45000);
    EXPECT_EQ(s45.wholeMinutes, 0);
    EXPECT_FALSE(PeriodicScriptSchedule("").enabled);
    EXPECT_FALSE(PeriodicScriptSchedule("ten").enabled);
    EXPECT_FALSE(PeriodicScriptSchedule("-30").enabled);
}

TEST(SettingDefaults, TableKeptBesideTheKeyList) {
    auto t = SettingDefaultsTable();
    ASSERT_EQ(t.size(), 16u);
    EXPECT_EQ(t[6], "FF.0002:00");
    EXPECT_EQ(t[11], "2");
}
