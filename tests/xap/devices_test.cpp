#include <gtest/gtest.h>

#include "XapRig.h"
#include "app/SettingsCache.h"
#include "support/TempDir.h"

using namespace tarvelo;
using namespace tarvelo::testing;

namespace {
struct DevicesRig : XapRig {
    explicit DevicesRig(const std::string& tarveloIni) {
        std::filesystem::create_directories(dir.path() / "Config");
        WriteFile(dir.path() / "Config" / "Tarvelo.ini", tarveloIni);
        xap.LoadDevices();
    }
    const xap::DeviceClass& dev(const std::string& tag) { return **xap.devices().devices().find(tag); }
};

const std::string kLounge =
    "xap-header\n{\nclass=xAPBSC.event\nsource=acme.Temp.host:lounge\ntarget=someone.else.entirely\n}\n"
    "Input.State\n{\nState=ON\nText=21.5\n}\n";
} // namespace

TEST(DevicesOfInterest, MatchingMessagesAreCapturedWhateverTheirTarget) {
    DevicesRig r(
        "[Received]\r\n\"acme.Temp.host:lounge~xAPBSC.event\"=LoungeTemp;1\r\nacme.quiet.host~xAPBSC.event=Quiet\r\n"
        "other~x=NoSuchDevice;1\r\n[Devices]\r\nLoungeTemp=2000-01-01 00:00:00\r\nQuiet=2000-01-01 00:00:00\r\n");
    const int32_t before = r.net.StateSequence;
    r.receive(kLounge);
    const auto& d = r.dev("LoungeTemp");
    EXPECT_EQ(d.MessageKeyList, (std::vector<std::string>{"input.state.State", "input.state.Text"}));
    EXPECT_EQ(*d.MessageList.find("input.state.Text"), "21.5");
    EXPECT_EQ(d.Sequence, before + 1);
    EXPECT_EQ(FormatDateTime(d.LastChange), "2026-12-06 07:00:00");
    ASSERT_EQ(r.triggers.size(), 1u);
    EXPECT_EQ(r.triggers[0]->Tag, "LoungeTemp");

    // No trigger text: updated, not queued. A filter naming no device: nothing.
    r.receive(Msg("class=xAPBSC.event\nsource=acme.quiet.host\n", "s\n{\nk=v\n}\n"));
    r.receive(Msg("class=x\nsource=other\n", "s\n{\nk=v\n}\n"));
    EXPECT_EQ(*r.dev("Quiet").MessageList.find("s.k"), "v");
    EXPECT_EQ(r.triggers.size(), 1u);
}

TEST(DevicesOfInterest, LoadAndSaveRoundTrip) {
    DevicesRig r(
        "[Devices]\r\nPorch=garbage;a.b\r\nBad\r\nLater=12/6/2026 7:01:37 AM;x.y;x.z\r\n[Device Messages]\r\n"
        "porch.a.b=seen\r\nlater.x.y=1\r\nlater.x.z=2\r\n");
    ASSERT_EQ(r.xap.devices().devices().size(), 2u);  // the faulty entry is skipped, not the rest
    EXPECT_EQ(FormatDateTime(r.dev("Porch").LastChange), "2000-01-01 00:00:00");
    const std::string* seen = r.dev("Porch").MessageList.find("a.b");  // the item name, as a capture keeps it
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(*seen, "seen");
    EXPECT_EQ(r.dev("Later").MessageKeyList, (std::vector<std::string>{"x.y", "x.z"}));

    // A tagged link state gets a device of its own, linked to it.
    auto lamp = r.device("12", 4, "Hall", "Lamp");
    lamp->Tag = "Later";
    auto porch = r.device("13", 4, "Yard", "Porch");
    porch->Tag = "NewTag";
    r.xap.devices().LinkDevicesToModules();
    EXPECT_EQ(r.dev("Later").Link, lamp);
    EXPECT_EQ(r.dev("NewTag").Link, porch);

    r.xap.devices().SaveDeviceDictionary();
    r.ini.FlushIniCache();
    const std::string saved = ReadFile(r.dir.path() / "Config" / "Tarvelo.ini");
    EXPECT_NE(saved.find("[DEVICES]\r\nLater=2026-12-06 07:01:37;x.y;x.z\r\nNewTag=1899-12-30 00:00:00\r\n"
                         "Porch=2000-01-01 00:00:00;a.b\r\n"),
              std::string::npos)
        << saved;
    EXPECT_NE(saved.find("[DEVICE MESSAGES]\r\nLater.x.y=1\r\nLater.x.z=2\r\nPorch.a.b=seen\r\n"), std::string::npos)
        << saved;
}

// Scripts and pages find a captured value under one name, before and after a
// restart: the item name, as captured.
TEST(DevicesOfInterest, CapturedValuesKeepTheirNamesAcrossARestart) {
    const std::string ini =
        "[Received]\r\nacme.Temp.host:lounge~xAPBSC.event=LoungeTemp\r\n[Devices]\r\nLoungeTemp=2000-01-01 00:00:00\r\n";
    auto picture = [](const xap::DeviceClass& d) {
        std::vector<std::string> out;
        for (const std::string& name : d.MessageKeyList) {
            const std::string* value = d.MessageList.find(name);
            out.push_back(name + "=" + (value ? *value : "<missing>"));
        }
        for (const auto& [key, value] : d.MessageList) out.push_back("key " + key);
        out.push_back(FormatDateTime(d.LastChange));
        return out;
    };
    DevicesRig before(ini);
    before.receive(kLounge);
    const std::vector<std::string> captured = picture(before.dev("LoungeTemp"));
    ASSERT_EQ(captured.front(), "input.state.State=ON");
    before.xap.devices().SaveDeviceDictionary();
    before.ini.FlushIniCache();

    // The next run: new objects on the same files.
    XapRig after;
    std::filesystem::copy(before.dir.path() / "Config", after.dir.path() / "Config");
    after.xap.LoadDevices();
    EXPECT_EQ(picture(**after.xap.devices().devices().find("LoungeTemp")), captured);
}
