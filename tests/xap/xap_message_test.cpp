#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "xap/XapMessage.h"

using namespace tarvelo;
using namespace tarvelo::xap;
using tarvelo::testing::CapturingLog;

namespace {
const std::string kCmd =
    "xap-header\n{\nuid=FF.0002:00\nclass=xAPBSC.cmd\nsource=a.b.c\n}\noutput.state.1\n{\nID=01\nstate=on\n}\n";
}

TEST(XapMessage, ParsesHeaderSectionsAndItems) {
    CapturingLog log;
    XapMessage m(&log);
    m.FromXap(kCmd);
    EXPECT_EQ(m.MsgClass(), "xAPBSC.cmd");
    EXPECT_EQ(m.MsgTarget(), "Unknown");
    EXPECT_EQ(m.MsgSource(), "a.b.c");
    EXPECT_EQ(m.GetItem("Output.State.1", "id"), "01");
    EXPECT_EQ(m.GetItem("output.state.1", "level"), "Unknown");
    EXPECT_EQ(m.GetItem("nosuch", "id"), "Unknown");
    EXPECT_EQ(m.MsgSection(), std::vector<std::string>{"output.state.1"});
    ASSERT_NE(m.msgCollection(0), nullptr);
    EXPECT_EQ(m.msgCollection(0)->items()[1].line, "state=on");
    EXPECT_EQ(m.msgCollection(2), nullptr);
    EXPECT_EQ(m.msgCollection(-1), nullptr);
    EXPECT_TRUE(log.entries.empty());
}

TEST(XapMessage, HeaderValuesAreTrimmedBodyLinesKeptWhole) {
    XapMessage m;
    m.FromXap("xap-header\n{\nClass = xAPBSC.Query\n}\nSec\n{\nState = ON\n}\n");
    EXPECT_EQ(m.MsgClass(), "xAPBSC.Query");
    EXPECT_EQ(m.GetItem("sec", "STATE"), " ON");
}

TEST(XapMessage, FaultyTextStopsParsingWithOneLogEntryAndKeepsWhatWasRead) {
    {
        CapturingLog log;
        XapMessage m(&log);
        m.FromXap(kCmd.substr(0, kCmd.size() - 1));  // no LF after the last "}"
        EXPECT_EQ(m.GetItem("output.state.1", "id"), "01");
        EXPECT_TRUE(m.MsgSection().empty());
        ASSERT_EQ(log.entries.size(), 1u);
        EXPECT_EQ(log.entries[0].second.rfind("From XAP Line", 0), 0u) << log.entries[0].second;
    }
    for (const char* text : {"xap-header\n{\n}\ns\n{\na=1\nA =2\n}\n", "xap-header\n{\n}\ns\n{\n}\nS\n{\n}\n"}) {
        CapturingLog log;
        XapMessage m(&log);
        m.FromXap(text);
        EXPECT_EQ(log.entries.size(), 1u) << text;
        EXPECT_EQ(m.GetItem("s", "a"), std::string_view(text).find("a=1") != std::string_view::npos ? "1" : "Unknown");
    }
    // Not a message: nothing parsed, nothing logged.
    for (const std::string& text : {std::string(), std::string("xap-hbeat\n{\nclass=xap-hbeat.alive\n}\n"), std::string("\0\xff\x01", 3)}) {
        CapturingLog log;
        XapMessage m(&log);
        m.FromXap(text);
        EXPECT_EQ(m.MsgClass(), "Unknown");
        EXPECT_EQ(m.MsgSection(), std::vector<std::string>{""});
        EXPECT_TRUE(log.entries.empty());
    }
}

TEST(XapMessage, LargeHostileMessagesParseInLinearTime) {
    std::string text = "xap-header\n{\nclass=x\n}\n";
    for (int s = 0; s < 1000; ++s) text += "s" + std::to_string(s) + "\n{\nk=v\n}\n";
    text += "big\n{\n";
    while (text.size() < 65000) text += "k" + std::to_string(text.size()) + "=v\n";
    text += "}\n";
    XapMessage m;
    m.FromXap(text);
    EXPECT_EQ(m.MsgSection().size(), 1001u);
    EXPECT_EQ(m.GetItem("S999", "K"), "v");
    EXPECT_GT(m.msgCollection(1000)->Count(), 3000u);
}

// Sections, items and header fields point into the text the message keeps:
// they stay valid when the message is moved and when it parses a second text.
TEST(XapMessage, ParsedPartsSurviveAMoveAndASecondText) {
    CapturingLog log;
    XapMessage first(&log);
    first.FromXap(std::string(kCmd).replace(kCmd.find("a.b.c"), 5, "acme.long-source-name.host"));
    XapMessage m(std::move(first));
    EXPECT_EQ(m.MsgSource(), "acme.long-source-name.host");
    m.FromXap("xap-header\n{\nclass=Second\n}\nsecond\n{\nK = v\n}\n");
    EXPECT_EQ(m.GetItem("output.state.1", "id"), "01");
    EXPECT_EQ(m.GetItem("second", "k"), " v");
    EXPECT_EQ(m.MsgClass(), "Second");
    EXPECT_EQ(m.msgCollection(0)->items()[0].line, "ID=01");
    // The second text's closing empty name is the first one's again.
    EXPECT_EQ(log.entries.size(), 1u);
}

TEST(XapMessage, CompareAddressWildcardsOnEitherSide) {
    struct Case { const char* pattern; const char* address; bool match; };
    const Case cases[] = {
        {"zantu.UPB.*", "zantu.upb.host:lamp.kitchen", true},
        {"zantu.UPB", "zantu.UPB.host", false},
        {"zantu.>", "zantu.UPB.host", true},
        {"", "zantu.UPB.host", false},
        {"zantu.UPB.host", "", false},
        {"a.>", "a", false},
        {"a.>", "a.b.c", true},
        {"a.b.c", "*.b.c", true},
        {"a.b.c", "a.>", true},
        {"unknown", "Unknown", true},
        {"a.b.c:x.y", "A.B.C:z", true},
        {"*", "Unknown", true},
        {"a.*.c", "a.b.d", false},
    };
    for (const Case& c : cases) EXPECT_EQ(XapMessage::CompareAddress(c.pattern, c.address), c.match) << c.pattern << " / " << c.address;
    XapMessage m;
    m.FromXap("xap-header\n{\nclass=xAPBSC.Event\n}\n");
    EXPECT_TRUE(m.CompareClass("xapbsc.event"));
    EXPECT_FALSE(m.CompareClass("xapbsc.*"));
}

TEST(XapMessage, BuildsTheWireLayoutByteForByteAndParsesItBack) {
    XapMessage m;
    m.MsgClass("xAPBSC.event");
    m.MsgSource("zantu.UPB.host:a.b.c");
    m.MsgTarget("");
    m.MsgUID("FF.0002:0001");
    m.AddHeader();
    m.AddSection("output.state");
    ForEachItem(MsgData().add("state", "ON").add("level", "50/100").str(),
                [&](std::string_view k, std::string_view v) { m.AddItem("", k, v); });
    const std::string text = m.ToXap();
    EXPECT_EQ(text,
              "xap-header\n{\nv=13\nhop=1\nuid=FF.0002:0001\nclass=xAPBSC.event\nsource=zantu.UPB.host:a.b.c\n}\n"
              "output.state\n{\nstate=ON\nlevel=50/100\n}\n");

    XapMessage back;
    back.FromXap(text);
    EXPECT_EQ(back.MsgUID(), "FF.0002:0001");
    EXPECT_EQ(back.GetItem("output.state", "level"), "50/100");

    // Items without a separator are left out; a value keeps later separators.
    std::vector<std::string> seen;
    ForEachItem(std::string("a\1x\1y") + '\0' + "novalue" + '\0' + "b\1", [&](std::string_view k, std::string_view v) {
        seen.push_back(std::string(k) + "=" + std::string(v));
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"a=x\1y", "b="}));
}
