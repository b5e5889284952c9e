// The host object as scripts see it ("xap" and its members as global names),
// in a gateway in virtual time.
#include <gtest/gtest.h>

#include "common/VbDate.h"
#include "support/ScriptGateway.h"

using namespace tarvelo;
using tarvelo::testing::ReadFile;
using tarvelo::testing::ScriptGateway;
using tarvelo::testing::WriteFile;

namespace {

const char* kLogMain = "Sub Main(tag)\n  xap.WriteLog \"main\", tag\nEnd Sub\n";

std::string Said(ScriptGateway& g, const std::string& expression) {
    g.log.clear();
    g.Exec("xap.WriteLog \"said\", " + expression);
    auto said = g.Logged("said");
    return said.empty() ? "<nothing said>" : said.back();
}

} // namespace

TEST(HostObject, SelectionsIgnoreCaseAndDeSelectComparesStoredValues) {
    ScriptGateway g(kLogMain);
    g.Start();
    g.Exec("SelectXapMessage \"Acme.*\", \"xAPBSC.Event\", \"input.state\", \"acme.temp.host\", \"temp.txt\"\n"
           "xap.SelectXapMessage \"acme.*\", \"xapbsc.event\", \"INPUT.STATE\", \"ACME.temp.host\", \"Temp.txt\"");
    ASSERT_EQ(g.app().selections().size(), 1u);
    const std::string stored = g.app().selections()[0].ScriptFile;
    EXPECT_EQ(stored, LCase((g.dir / "Scripts/temp.txt").string()));

    // The relative name, as given to SelectXapMessage, does not match.
    g.Exec("DeSelectXapMessage \"acme.*\", \"xapbsc.event\", \"input.state\", \"\", \"temp.txt\"");
    EXPECT_EQ(g.app().selections().size(), 1u);
    g.Exec("DeSelectXapMessage \"acme.*\", \"xapbsc.event\", \"input.state\", \"\", \"" + stored + "\"");
    EXPECT_TRUE(g.app().selections().empty());
}

TEST(HostObject, LookupsOfUnknownTagsGiveTheirFallbacks) {
    ScriptGateway g(kLogMain);
    g.Start();
    EXPECT_EQ(Said(g, "Sequence(\"nosuch\")"), "-1");
    EXPECT_EQ(Said(g, "CStr(LastChange(\"nosuch\") = Now)"), "True");
    EXPECT_EQ(Said(g, "CStr(Request(\"nosuch\") Is Nothing) & (TagList(\"nosuch\") Is Nothing)"), "TrueTrue");
    EXPECT_EQ(Said(g, "Version & \"|\" & WebLoggedInUser & \"|\" & SystemUpTime & \"|\" & Sunrise"), "1.6.174|||");
    EXPECT_EQ(Said(g, "GetAppPath()"), g.dir.path().string());
    EXPECT_EQ(Said(g, "\"[\" & DeviceString(\"A1\") & \"]\""), "[]");
    EXPECT_FALSE(g.LoggedStartingWith("DeviceString").empty());
}

TEST(HostObject, RequestOfALinkStateAndOfACapturedDeviceIsCurrent) {
    ScriptGateway g(kLogMain);
    g.Start();
    g.CommandLampOn();
    g.platform.runUntil([&] { return !g.Logged("main").empty(); }, 10000);
    EXPECT_EQ(Said(g, "Request(\"lamp\")(\"value\") & \"/\" & Request(\"Lamp\").Item(\"sequence\")"), "100/1");

    g.LoungeSays("21.5");
    g.platform.advance(200);
    const std::string first = Said(g, "Request(\"Lounge\")(\"sequence\") & \"|\" & Request(\"Lounge\")(\"input.state.Text\")");
    g.platform.advance(5000);
    g.LoungeSays("22.0");
    g.platform.advance(200);
    // "lastchange" and "sequence" follow the newest capture, not the first request.
    const std::string second = Said(g, "Request(\"Lounge\")(\"sequence\") & \"|\" & Request(\"Lounge\")(\"input.state.Text\")");
    EXPECT_NE(first, second);
    EXPECT_EQ(second.substr(second.find('|')), "|22.0");
    const auto device = *g.gateway->xap().devices().devices().find("Lounge");
    EXPECT_EQ(second.substr(0, second.find('|')), std::to_string(device->Sequence));
    EXPECT_EQ(Said(g, "Request(\"Lounge\")(\"lastchange\")"), FormatDateTime(device->LastChange));
    EXPECT_EQ(Said(g, "TagList(\"Lounge\")(1) & \"/\" & TagList(\"Lounge\").Count"), "input.state.Text/1");
}

TEST(HostObject, NightTimeAroundSunriseAndSunset) {
    ScriptGateway g(kLogMain);
    g.Start();
    g.Exec("xap.WriteLog \"said\", CStr(NightTime(0))");
    EXPECT_EQ(g.Logged("said").back(), "False") << "no sun times yet";
    g.platform.udp.deliver(32768, "xap-header\n{\nclass=Time.Today\nsource=acme.time.host\n}\nTime.Today\n{\n"
                                  "Sunrise=06:00\nSunset=18:00\n}\n");
    g.platform.advance(200);
    ASSERT_EQ(g.app().Sunrise(), "06:00");
    // The gateway's clock is now a little after 07:00.
    EXPECT_EQ(Said(g, "CStr(NightTime(0)) & CStr(NightTime(-90))"), "FalseTrue");
    g.platform.advance((18 * 3600 - 7 * 3600) * 1000LL - g.platform.clock().localMillis() % 86400000 + 7 * 3600 * 1000LL);
    // 18:00 exactly is night.
    ASSERT_EQ(g.platform.clock().localMillis() % 86400000, 18 * 3600 * 1000LL);
    EXPECT_EQ(Said(g, "CStr(NightTime(0))"), "True");
}

TEST(HostObject, ResponseSwitchesControllableTagsAndNamesTheOthers) {
    ScriptGateway g(kLogMain);
    g.Start();
    g.Exec("Response \"nosuch\", \"on\"\nResponse \"Lounge\", \"on\"");
    EXPECT_FALSE(g.LoggedStartingWith("Tag nosuch not recognized").empty());
    EXPECT_FALSE(g.LoggedStartingWith("Tag Lounge is a receive message tag").empty());
    g.Exec("Response \"Lamp\", \"on\"");
    g.platform.runUntil([&] { return !g.net.pim.frames.empty(); }, 5000);
}

TEST(HostObject, SettingsMembersReachTheSettingsCache) {
    ScriptGateway g(kLogMain);
    g.Start();
    g.Exec("SaveIniSetting \"Demo\", \"a\", \"1\"\nSaveIniSetting \"Demo\", \"b\", \"2\", \"demo.ini\"");
    EXPECT_EQ(Said(g, "GetIniSetting(\"Demo\", \"a\", \"x\") & GetIniSetting(\"Demo\", \"b\", \"x\", \"demo.ini\")"), "12");
    EXPECT_EQ(Said(g, "Replace(GetINISection(\"Demo\"), Chr(0), \";\")"), "a=1");
    g.Exec("FlushIniCache");
    EXPECT_NE(ReadFile(g.dir / "Config/demo.ini").find("b=2"), std::string::npos);
    g.Exec("ClearINISection \"Demo\"");
    EXPECT_EQ(Said(g, "\"[\" & GetINISection(\"Demo\") & \"]\""), "[]");
}

TEST(HostObject, RunAndRunExCallProceduresOfOtherFiles) {
    ScriptGateway g(kLogMain);
    WriteFile(g.dir / "Scripts/other.txt",
              "Sub Main()\n  xap.WriteLog \"other\", \"main\"\nEnd Sub\n"
              "Function Twice(x)\n  Twice = x & x\nEnd Function\n"
              "Sub NoResult(x)\nEnd Sub\n");
    g.Start();
    g.Exec("Run \"other.txt\"");
    EXPECT_EQ(g.Logged("other"), std::vector<std::string>{"main"});
    EXPECT_EQ(Said(g, "RunEx(\"other.txt\", \"twice\", \"ab\")"), "abab");
    EXPECT_EQ(Said(g, "\"[\" & RunEx(\"other.txt\", \"NoResult\", \"ab\") & RunEx(\"other.txt\", \"Missing\", \"\") & \"]\""), "[]");
}

TEST(HostObject, ScriptsCreateFileAndShellObjectsAlsoAfterAReload) {
    ScriptGateway g(kLogMain);
    g.Start();
    g.app().InitScriptControl();  // a reset drops registered classes; they must come back
    WriteFile(g.dir / "note.txt", "first line\r\nsecond\r\n");
    const std::string path = (g.dir / "note.txt").string();
    EXPECT_EQ(Said(g, "CreateObject(\"Scripting.FileSystemObject\").OpenTextFile(\"" + path + "\").ReadLine"),
              "first line");
    EXPECT_EQ(Said(g, "CreateObject(\"WScript.Shell\").ExpandEnvironmentStrings(\"[%TARVELO_NO_SUCH_VAR%]\")"),
              "[%TARVELO_NO_SUCH_VAR%]");
}

TEST(HostObject, MainWithoutParameterIsCalledWithNone) {
    ScriptGateway g("Sub Main\n  xap.WriteLog \"main\", \"no tag\"\nEnd Sub\n");
    g.Start();
    g.CommandLampOn();
    g.platform.runUntil([&] { return !g.Logged("main").empty(); }, 10000);
    EXPECT_EQ(g.Logged("main"), std::vector<std::string>{"no tag"});
    EXPECT_TRUE(g.LoggedStartingWith("Script Run Error").empty());
}

// ---- what the program does where a plain reading would fail ----

TEST(HostObject, LineBreaksInValuesSentOverXapBecomeBlanks) {
    ScriptGateway g(kLogMain);
    g.Start();
    g.Exec("WriteLog \"demo\", \"one\" & vbCrLf & \"}\" & vbLf & \"extra\"\n"
           "SendXapMessage \"\", \"Demo.Event\", \"sec\" & vbLf & \"{\", \"k\" & Chr(1) & \"v\" & vbCr & \"x=1\", \"\", \"\", \"\"\n"
           "X10 \"A1\" & vbLf & \"x\", \"on\", \"1\"");
    EXPECT_EQ(g.Logged("demo"), std::vector<std::string>{"one  } extra"});
    const auto demo = g.platform.udp.sentTo(3639, "class=Demo.Event");
    ASSERT_EQ(demo.size(), 1u);
    EXPECT_NE(demo[0].find("sec {\n{\nk=v x=1\n}"), std::string::npos) << demo[0];
    const auto x10 = g.platform.udp.sentTo(3639, "class=xap-x10.request");
    ASSERT_EQ(x10.size(), 1u);
    EXPECT_NE(x10[0].find("device=A1 x\ncommand=on\ncount=1\n"), std::string::npos) << x10[0];
}

TEST(HostObject, FailingMemberRaisesAnErrorTheScriptCanCatch) {
    ScriptGateway g(kLogMain);
    g.Start();
    g.Exec("On Error Resume Next\n"
           "Set m = GetXapMessage(3)\n"
           "xap.WriteLog \"err\", Err.Number\n"
           "Err.Clear\n"
           "Set p = Spawn(\"job\", \"Go\", \"x\")\n"
           "xap.WriteLog \"err\", Err.Number & \" \" & Err.Description\n"
           "xap.WriteLog \"err\", \"went on\"");
    const auto err = g.Logged("err");
    ASSERT_EQ(err.size(), 3u);
    EXPECT_EQ(err[0], "9");
    EXPECT_EQ(err[1].substr(0, 10), "440 Spawn:") << err[1];
    EXPECT_EQ(err[2], "went on");
    // Without On Error the run ends with one logged error naming the line.
    g.Exec("xap.WriteLog \"before\", \"\"\nSet m = GetXapMessage(3)\nxap.WriteLog \"after\", \"\"");
    EXPECT_TRUE(g.Logged("after").empty());
    EXPECT_EQ(g.LoggedStartingWith("Script Run Error").size(), 1u);
}

TEST(HostObject, SpawnWritesTheJobAndStartsTheRunner) {
    ScriptGateway g(kLogMain);
    g.platform.programs().add("tarvelo-vbs", {.runMs = 500, .exitCode = 3});
    g.Start();
    g.Exec("Set p = Spawn(\"Lights.TXT\", \"Fade\", \"say \"\"hi\"\"\")\n"
           "xap.WriteLog \"job\", p.Status\n"
           "Set q = Spawn(\"Other\", \"\", \"\")");
    EXPECT_EQ(ReadFile(g.dir / "Scripts/Lights~.wsf"),
              "<job id=\"Lights\">\n"
              "<script language=\"VBScript\" src=\"..\\Lights.txt\"/>\n"
              "<script language=\"VBScript\">\n"
              "Dim xap\n"
              "Set xap = createobject(\"Tarvelo.Application\")\n"
              "Fade \"say \"\"hi\"\"\"\n"
              "Set xap = Nothing\n"
              "</Script>\n"
              "</Job>\n");
    EXPECT_NE(ReadFile(g.dir / "Scripts/Other~.wsf").find("\n\"\"\n"), std::string::npos);
    ASSERT_EQ(g.platform.programs().started.size(), 2u);
    const auto& run = g.platform.programs().started[0];
    EXPECT_EQ(run.program, "tarvelo-vbs");
    EXPECT_EQ(run.arguments, std::vector<std::string>{(g.dir / "Scripts/Lights~.wsf").string()});
    EXPECT_EQ(g.Logged("job"), std::vector<std::string>{"0"});
    EXPECT_EQ(g.app().runningJobs(), 2u);
    g.platform.advance(1000);
    EXPECT_EQ(g.app().runningJobs(), 0u);
}

TEST(HostObject, SpawnNeverWritesOutsideTheScriptsFolder) {
    ScriptGateway g(kLogMain);
    g.platform.programs().add("tarvelo-vbs", {});
    g.Start();
    g.Exec("On Error Resume Next\n"
           "Set a = Spawn(\"../evil\", \"Go\", \"\")\n"
           "Set b = Spawn(\"sub\\x.txt\", \"Go\", \"\")\n"
           "Set c = Spawn(\"/tmp/x\", \"Go\", \"\")\n"
           "xap.WriteLog \"refused\", (a Is Nothing) And (b Is Nothing) And (c Is Nothing)");
    EXPECT_EQ(g.Logged("refused"), std::vector<std::string>{"True"});
    EXPECT_EQ(g.LoggedStartingWith("Spawn ").size(), 3u);
    EXPECT_TRUE(g.platform.programs().started.empty());
    EXPECT_FALSE(std::filesystem::exists(g.dir / "evil~.wsf"));
}

TEST(HostObject, CurrentEventIsClearedWhenMainFails) {
    ScriptGateway g("Sub Main(tag)\n  Err.Raise 5\nEnd Sub\n");
    g.Start();
    g.LoungeSays("x");
    g.platform.advance(200);
    EXPECT_EQ(g.LoggedStartingWith("Script Run Error").size(), 1u);
    EXPECT_EQ(g.gateway->triggers().currentEvent(), nullptr);
    g.Exec("xap.WriteLog \"outside\", (Request(\"LastEvent\") Is Nothing)");
    EXPECT_EQ(g.Logged("outside"), std::vector<std::string>{"True"});
}

TEST(HostObject, ReadScriptStartsFromACleanEngine) {
    ScriptGateway g("Sub Main(tag)\n  xap.WriteLog \"main\", tag\nEnd Sub\nSub Main2\nEnd Sub\n");
    g.Start();
    WriteFile(g.dir / "Scripts/Tarvelo.txt", "Sub Other(tag)\nEnd Sub\n");
    g.app().InitScriptControl();  // the status page's "Read Script"
    g.LoungeSays("x");
    g.platform.advance(200);
    EXPECT_TRUE(g.Logged("main").empty()) << "the deleted Main still ran";
    EXPECT_TRUE(g.LoggedStartingWith("Error in script syntax").empty());
}

TEST(HostObject, MainMayReloadTheScriptsWhileItRuns) {
    ScriptGateway g("Sub Main(tag)\n  InitScriptControl\n  xap.WriteLog \"after\", tag\nEnd Sub\n");
    g.Start();
    g.LoungeSays("x");
    g.platform.advance(200);
    // The running call ends on the engine it started in; the next one runs in the new one.
    EXPECT_EQ(g.Logged("after"), std::vector<std::string>{"Lounge"});
    g.LoungeSays("y");
    g.platform.advance(200);
    EXPECT_EQ(g.Logged("after"), (std::vector<std::string>{"Lounge", "Lounge"}));
}
