// tarvelo-xap without sockets: its command line, the messages it writes, the
// address matching, and what it prints.
#include <gtest/gtest.h>

#include "CommandLine.h"
#include "Display.h"
#include "Messages.h"

using namespace tarvelo::xapcli;

namespace {

ParseResult Parse(std::initializer_list<std::string> args) { return ParseArgs(std::vector<std::string>(args)); }

Invocation Ok(std::initializer_list<std::string> args) {
    ParseResult r = Parse(args);
    EXPECT_TRUE(r.invocation) << r.error;
    return r.invocation.value_or(Invocation{});
}

const Identity kMe{"tarvelo.xap.box", "FF.1234:00"};

std::string Event(const std::string& source, const std::string& body, const std::string& cls = "xapbsc.event") {
    return "xap-header\n{\nv=13\nhop=1\nuid=FF.0002:0B02\nclass=" + cls + "\nsource=" + source + "\n}\n" + body;
}

} // namespace

TEST(XapToolCommandLine, ReadsEachCommandWithItsOptions) {
    EXPECT_EQ(Ok({"--help"}).command, Command::Help);
    EXPECT_EQ(Ok({"bsc", "on", "-h"}).command, Command::Help);
    EXPECT_EQ(Ok({"help"}).command, Command::Help);

    Invocation w = Ok({"watch", "--brief", "--class", "xAPBSC.*", "--source=zantu.UPB.*:>", "--hub", "4000"});
    EXPECT_EQ(w.command, Command::Watch);
    EXPECT_TRUE(w.brief);
    EXPECT_EQ(w.classPattern, "xAPBSC.*");
    EXPECT_EQ(w.sourcePattern, "zantu.UPB.*:>");
    EXPECT_EQ(w.hubPort, 4000);
    EXPECT_FALSE(w.ownPort);
    EXPECT_EQ(Ok({"watch", "--port", "3639"}).ownPort, 3639);
    EXPECT_EQ(Ok({"watch", "--port", "0"}).ownPort, 0);  // a free one

    // --class and --source name the message in send, and filter in watch.
    Invocation s = Ok({"send", "--class", "xAPBSC.cmd", "--target", "zantu.UPB.*:>", "--source", "acme.tool.one",
                       "--uid", "FF.00AB:01", "--port", "4000", "--to", "127.0.0.1", "output.state.1", "ID=*",
                       "State = on", "request", "Note=a=b c"});
    EXPECT_EQ(s.msgClass, "xAPBSC.cmd");
    EXPECT_EQ(s.source, "acme.tool.one");
    EXPECT_EQ(s.uid, "FF.00AB:01");
    EXPECT_EQ(s.port, 4000);
    EXPECT_EQ(s.to, "127.0.0.1");
    ASSERT_EQ(s.sections.size(), 2u);
    EXPECT_EQ(s.sections[0].items, (std::vector<std::pair<std::string, std::string>>{{"ID", "*"}, {"State", " on"}}));
    EXPECT_EQ(s.sections[1].items[0], (std::pair<std::string, std::string>{"Note", "a=b c"}));
    EXPECT_TRUE(Ok({"send", "--class", "Time.Today", "request"}).target.empty());  // no target line
    EXPECT_EQ(Ok({"send", "--class", "a.b", "--", "--odd-section"}).sections[0].name, "--odd-section");

    Invocation b = Ok({"bsc", "toggle", "zantu.UPB.*:*porch*", "--wait", "1.5"});
    EXPECT_EQ(b.action, BscAction::Toggle);
    EXPECT_EQ(b.target, "zantu.UPB.*:*porch*");
    EXPECT_DOUBLE_EQ(b.waitSeconds, 1.5);
    EXPECT_EQ(Ok({"bsc", "QUERY", "a.b.c:>"}).action, BscAction::Query);
}

TEST(XapToolCommandLine, LevelIsAPercentageSentInTheGatewaysForm) {
    EXPECT_EQ(Ok({"bsc", "level", "50", "a.b.c:x"}).level, "150");
    EXPECT_EQ(LevelItem("0"), "100");
    EXPECT_EQ(LevelItem("100%"), "200");
    EXPECT_EQ(LevelItem("12/25"), "12/25");
    EXPECT_FALSE(LevelItem("101"));
    EXPECT_FALSE(LevelItem("-5"));
    EXPECT_FALSE(LevelItem("half"));
    EXPECT_FALSE(LevelItem("1/"));
}

TEST(XapToolCommandLine, MalformedArgumentsAreRefusedWithAReason) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no command"},
        {{"listen"}, "unknown command 'listen'"},
        {{"--brief", "watch"}, "the command comes first"},
        {{"watch", "--uid", "FF.1:00"}, "unknown option '--uid' for watch"},
        {{"watch", "extra"}, "takes no argument"},
        {{"watch", "--brief=yes"}, "takes no value"},
        {{"watch", "--hub"}, "--hub needs a value"},
        {{"watch", "--hub", "0"}, "from 1 to 65535"},
        {{"send", "--class", "a.b", "--port", "0", "s"}, "from 1 to 65535"},
        {{"watch", "--hub", "70000"}, "from 1 to 65535"},
        {{"watch", "--port", "3639", "--hub", "4000"}, "exclude each other"},
        {{"watch", "--source", "a..b"}, "empty part"},
        {{"send", "request"}, "needs --class"},
        {{"send", "--class", "nodot", "request"}, "not a message class"},
        {{"send", "--class", "a.b"}, "at least one SECTION"},
        {{"send", "--class", "a.b", "ID=1"}, "before any SECTION"},
        {{"send", "--class", "a.b", "s", "=1"}, "no key"},
        {{"send", "--class", "a.b", "s", "a{b=1"}, "holds the character '{'"},
        {{"send", "--class", "a.b", "s", "k=line\nbreak"}, "line break"},
        {{"send", "--class", "a.b", "s", "k=1", "K=2"}, "given twice"},
        {{"send", "--class", "a.b", "s", "S"}, "section 'S' is given twice"},
        {{"send", "--class", "a.b", "bad}name"}, "not a section name"},
        {{"send", "--class", "a.b", "--source", "a.*.c", "s"}, "wildcard"},
        {{"send", "--class", "a.b", "--target", "a.>.c", "s"}, "whole last part"},
        {{"send", "--class", "a.b", "--target", "a.b:c:d", "s"}, "character ':'"},
        {{"send", "--class", "a.b", "--uid", "FF0002", "s"}, "not a UID"},
        {{"send", "--class", "a.b", "--to", "gateway", "s"}, "IPv4 address"},
        {{"bsc"}, "needs an action"},
        {{"bsc", "dim", "a.b.c:x"}, "unknown bsc action 'dim'"},
        {{"bsc", "on"}, "needs a TARGET"},
        {{"bsc", "on", "a.b.c"}, "names no component"},
        {{"bsc", "on", "a.b.c:x", "a.b.c:y"}, "takes one TARGET"},
        {{"bsc", "level", "a.b.c:x"}, "not a level"},
        {{"bsc", "level", "101", "a.b.c:x"}, "not a level"},
        {{"bsc", "query", "a.b.c:>", "--wait", "0"}, "--wait needs"},
    };
    for (const auto& [args, reason] : cases) {
        const ParseResult r = ParseArgs(args);
        EXPECT_FALSE(r.invocation) << args.size();
        EXPECT_NE(r.error.find(reason), std::string::npos) << r.error << " / wanted: " << reason;
    }
}

TEST(XapToolMessages, AreWrittenWithTheGatewaysCodec) {
    EXPECT_EQ(BuildBscCommand(kMe, "zantu.UPB.*:porch", "on", "150"),
              "xap-header\n{\nv=13\nhop=1\nuid=FF.1234:00\nclass=xAPBSC.cmd\nsource=tarvelo.xap.box\n"
              "target=zantu.UPB.*:porch\n}\noutput.state.1\n{\nID=*\nState=on\nLevel=150\n}\n");
    EXPECT_EQ(BuildBscQuery(kMe, "zantu.UPB.*:>"),
              "xap-header\n{\nv=13\nhop=1\nuid=FF.1234:00\nclass=xAPBSC.query\nsource=tarvelo.xap.box\n"
              "target=zantu.UPB.*:>\n}\nrequest\n{\n}\n");
    EXPECT_EQ(BuildHeartbeat(kMe, 40000, false),
              "xap-hbeat\n{\nv=13\nhop=1\nuid=FF.1234:00\nclass=xap-hbeat.stopped\nsource=tarvelo.xap.box\n"
              "interval=60\nport=40000\n}\n");

    // Without a target there is no target line; several sections read back whole.
    const std::string text = BuildMessage(kMe, "Time.Today", "", {{"one", {{"a", "1"}}}, {"two", {}}});
    EXPECT_EQ(text.find("target="), std::string::npos);
    const Received back = ParseDatagram(text);
    EXPECT_TRUE(back.problem.empty());
    ASSERT_EQ(back.sections.size(), 2u);
    EXPECT_EQ(back.sections[0].items[0].second, "1");
    EXPECT_TRUE(back.sections[1].items.empty());
}

TEST(XapToolMessages, DefaultIdentity) {
    EXPECT_EQ(DefaultSource("my box.example.org"), "tarvelo.xap.my-box");
    EXPECT_EQ(DefaultSource(""), "tarvelo.xap.host");
    EXPECT_EQ(DefaultUid(0x12ABCD), "FF.ABCD:00");
    EXPECT_TRUE(CheckUid(DefaultUid(7)).empty());
}

TEST(XapToolAddresses, MatchLikeXapAndTheGatewaysSubAddress) {
    struct Case {
        const char* pattern;
        const char* address;
        bool match;
    };
    const Case cases[] = {
        {"zantu.UPB.*", "zantu.upb.host:lamp.kitchen", true},  // no sub-address in the pattern: any
        {"zantu.UPB", "zantu.UPB.host", false},                // part counts differ
        {"zantu.>", "zantu.UPB.host", true},
        {"zantu.UPB.host.>", "zantu.UPB.host", false},         // ">" needs a part to stand for
        {"zantu.UPB.*:>", "zantu.UPB.vm:a.b.light", true},
        {"zantu.UPB.*:>", "zantu.UPB.vm", false},              // a sub-address is asked for
        {"zantu.UPB.*:tarvelo_porch_porch_light", "zantu.UPB.vm:Tarvelo_Porch_Porch_Light.UPB2A_M0E_C01_00.light", true},
        {"zantu.UPB.*:*.*.relay", "zantu.UPB.vm:a.b.light", false},
        {"zantu.UPB.*:*porch*", "zantu.UPB.vm:tarvelo_porch_light.x.light", true},
        {"zantu.UPB.*:*porch*", "zantu.UPB.vm:tarvelo_hall.x.light", false},
        {"*.*.*:a*c*e", "x.y.z:abcde", true},                  // the glob backs up past a false start
        {"*.*.*:a*c*e", "x.y.z:abcdx", false},
        {"acme.*.box", "ACME.tool.BOX", true},
    };
    for (const Case& c : cases) EXPECT_EQ(MatchAddress(c.pattern, c.address), c.match) << c.pattern << " / " << c.address;

    EXPECT_FALSE(HasPartGlob("zantu.UPB.*:>"));
    EXPECT_TRUE(HasPartGlob("zantu.UPB.*:*porch*"));
    EXPECT_EQ(WireTarget("zantu.UPB.*:*porch*.x*"), "zantu.UPB.*:*.*");
    EXPECT_EQ(WireTarget("zantu.UPB.vm:a.b"), "zantu.UPB.vm:a.b");
}

TEST(XapToolDisplay, ReadsMessagesHeartbeatsAndOtherDatagrams) {
    // Lines ended with CR LF and NULs after the text, as some senders write them.
    const Received m = ParseDatagram("xap-header\r\n{\r\nclass = xAPBSC.event\r\nsource=a.b.c:d\r\n}\r\n"
                                     "output.state\r\n{\r\nState = ON\r\n}\r\n" + std::string(2, '\0'));
    EXPECT_TRUE(m.xap);
    EXPECT_EQ(m.msgClass, "xAPBSC.event");
    EXPECT_EQ(m.text.find('\r'), std::string::npos);
    ASSERT_EQ(m.sections.size(), 1u);
    EXPECT_EQ(m.sections[0].items[0], (std::pair<std::string, std::string>{"State", "ON"}));

    const Received hb = ParseDatagram(BuildHeartbeat(kMe, 40000, true));
    EXPECT_TRUE(hb.heartbeat);
    EXPECT_EQ(hb.source, "tarvelo.xap.box");
    EXPECT_EQ(hb.msgClass, "xap-hbeat.alive");
    EXPECT_EQ(hb.port, "40000");

    EXPECT_FALSE(ParseDatagram("hello\n").xap);

    // A repeated key stops the codec: the reason is kept, without the codec's source line.
    const Received bad = ParseDatagram(Event("a.b.c", "s\n{\nk=1\nk=2\n}\n"));
    EXPECT_NE(bad.problem.find("already associated"), std::string::npos) << bad.problem;
    EXPECT_EQ(bad.problem.find("Line"), std::string::npos);
    // Without the final LF the last section still counts.
    EXPECT_EQ(ParseDatagram(Event("a.b.c", "s\n{\nk=1\n}")).sections.size(), 1u);
}

TEST(XapToolDisplay, BriefLinesShowTheStatusItems) {
    const std::string source = "zantu.UPB.vm:Tarvelo_Hall_Path.UPB2A_M0B_C01_01.light";
    EXPECT_EQ(FormatBrief("13:44:20.426", ParseDatagram(Event(source, "output.state\n{\nstate=ON\nDisplayText=100 / "
                                                                      "Activate\nlevel=1/25\nother=x\n}\n"))),
              "13:44:20.426  " + source + "  xapbsc.event  state=ON DisplayText=\"100 / Activate\" level=1/25\n");
    EXPECT_EQ(FormatBrief("t", ParseDatagram(Event("zantu.UPB.vm", "xap-x10.event\n{\nevent=ON\ndevice=B1\ncount=100\n}\n",
                                                   "xap-x10.event"))),
              "t  zantu.UPB.vm  xap-x10.event  event=ON device=B1 count=100\n");
    EXPECT_EQ(FormatBrief("t", ParseDatagram(Event("a.b.c:x", "values.1\n{\nText=Off\nLevel=0/1\n}\nvalues.2\n{\nText=On\n"
                                                               "Level=1/1\n}\n", "xAPBSC.Values"))),
              "t  a.b.c:x  xAPBSC.Values  Text=Off Level=0/1 (section 1 of 2)\n");
    EXPECT_EQ(FormatBrief("t", ParseDatagram(BuildHeartbeat(kMe, 40000, true))),
              "t  tarvelo.xap.box  xap-hbeat.alive  interval=60 port=40000\n");
    EXPECT_EQ(FormatBrief("t", ParseDatagram("ping\n")), "t  (not an xAP message, 5 bytes: ping)\n");
    // Nothing from the network reaches the terminal as a control sequence.
    const std::string shown = FormatBrief("t", ParseDatagram(Event("a.b.c", "s\n{\nText=\x1b[2J\n}\n")));
    EXPECT_EQ(shown.find('\x1b'), std::string::npos);
    EXPECT_NE(shown.find("Text=\\x1B[2J"), std::string::npos);
}

TEST(XapToolDisplay, BlocksCarryATimeStampAndTheWholeText) {
    const std::string text = Event("a.b.c", "s\n{\nk=\x07\n}\n");
    EXPECT_EQ(FormatBlock("2026-12-06 13:44:20.426", ParseDatagram(text)),
              "--- 2026-12-06 13:44:20.426\n" + text.substr(0, text.find('\x07')) + "\\x07\n}\n\n");
    EXPECT_EQ(FormatBlock("T", ParseDatagram(Event("a.b.c", "s\n{\nk=1\nk=1\n}\n"))).rfind("--- T  (malformed: ", 0), 0u);
}

TEST(XapToolDisplay, FiltersOnClassAndSource) {
    const Received m = ParseDatagram(Event("zantu.UPB.vm:porch.x.light", "output.state\n{\nstate=ON\n}\n"));
    EXPECT_TRUE(PassesFilters(m, "", ""));
    EXPECT_TRUE(PassesFilters(m, "XAPBSC.*", "zantu.UPB.*:porch"));
    EXPECT_FALSE(PassesFilters(m, "xAPBSC.info", ""));
    EXPECT_FALSE(PassesFilters(m, "", "zantu.UPB.*:hall"));
    EXPECT_FALSE(PassesFilters(ParseDatagram("noise"), "*", ""));
}

TEST(XapToolQuery, CollectsInfoValuesAndLaterEventsIntoATable) {
    AnswerTable table("zantu.UPB.*:*hall*");
    const std::string hall = "zantu.UPB.vm:tarvelo_hall_lights.upb2a_m0b_c01_00.light";
    const std::string values = "values.1\n{\nText=Off\nLevel=0/1\n}\nvalues.2\n{\nText=On\nLevel=1/1\n}\n";
    // An event before the info is not an answer; the info lists the component.
    EXPECT_FALSE(table.Add(ParseDatagram(Event(hall, "output.state\n{\nstate=ON\n}\n"))));
    EXPECT_TRUE(table.Add(ParseDatagram(Event(hall, values, "xAPBSC.Values"))));
    EXPECT_TRUE(table.Add(ParseDatagram(Event(hall, "output.state\n{\nstate=OFF\nDisplayText=0 / Off\nlevel=0/1\n}\n",
                                              "xAPBSC.Info"))));
    EXPECT_TRUE(table.Add(ParseDatagram(Event("zantu.UPB.vm:tarvelo_hall_door.x.switch", "input.state\n{\nstate=ON\n}\n",
                                              "xAPBSC.Info"))));
    // A later event of a listed component updates it, whatever the case of its address.
    EXPECT_TRUE(table.Add(ParseDatagram(Event("zantu.UPB.vm:Tarvelo_Hall_Lights.UPB2A_M0B_C01_00.light",
                                              "output.state\n{\nstate=ON\n}\n"))));
    // Not named by the target: neither the porch nor the tool's own query.
    EXPECT_FALSE(table.Add(ParseDatagram(Event("zantu.UPB.vm:tarvelo_porch.x.light", "output.state\n{\nstate=ON\n}\n",
                                               "xAPBSC.Info"))));
    EXPECT_FALSE(table.Add(ParseDatagram(BuildBscQuery(kMe, "zantu.UPB.*:*"))));

    ASSERT_EQ(table.rows().size(), 2u);
    EXPECT_EQ(table.rows()[0].state, "ON");
    EXPECT_EQ(table.rows()[0].values, 2);
    EXPECT_EQ(table.rows()[0].text, "0 / Off");
    EXPECT_EQ(table.Format(),
              "SOURCE                                                   UID           IO   STATE  LEVEL  VALUES  TEXT\n"
              "zantu.UPB.vm:tarvelo_hall_lights.upb2a_m0b_c01_00.light  FF.0002:0B02  out  ON     0/1    2       0 / Off\n"
              "zantu.UPB.vm:tarvelo_hall_door.x.switch                  FF.0002:0B02  in   ON\n");

    // Any info or values answer of the broadened target keeps the wait open.
    EXPECT_TRUE(IsQueryAnswer(ParseDatagram(Event("zantu.UPB.vm:tarvelo_porch.x.light", values, "xAPBSC.Values")),
                              WireTarget("zantu.UPB.*:*hall*")));
    EXPECT_EQ(AnswerTable("a.b.c:>").Format(), "");
}

TEST(XapToolQuery, PlansCommandsForOutputsOnly) {
    const std::vector<BscRow> rows = {
        {"g:lamp", "", "out", "ON", "", "", 0},
        {"g:hall", "", "out", "off", "", "", 0},
        {"g:odd", "", "out", "?", "", "", 0},
        {"g:door", "", "in", "ON", "", "", 0},
    };
    std::vector<std::string> skipped;
    const auto toggled = PlanCommands(rows, BscAction::Toggle, "", &skipped);
    ASSERT_EQ(toggled.size(), 2u);
    EXPECT_EQ(toggled[0].target, "g:lamp");
    EXPECT_EQ(toggled[0].state, "off");
    EXPECT_EQ(toggled[1].state, "on");
    EXPECT_EQ(skipped, (std::vector<std::string>{"g:odd", "g:door"}));

    const auto dimmed = PlanCommands(rows, BscAction::Level, "150", nullptr);
    ASSERT_EQ(dimmed.size(), 3u);
    EXPECT_EQ(dimmed[2].state, "on");
    EXPECT_EQ(dimmed[2].level, "150");
}
