// The host object over its local socket: the frame codec, and calls from a
// script runner's proxy into a gateway in virtual time.
#include <gtest/gtest.h>

#include "scripting/ApplicationBridge.h"
#include "scripting/ScriptCollection.h"
#include "scripting/vbscript/Value.h"
#include "support/ScriptGateway.h"

using namespace tarvelo;
using namespace tarvelo::scripting;
using tarvelo::testing::ScriptGateway;
using vbs::Value;

namespace {

Value RoundTrip(const Value& v) {
    std::vector<Value> items{v};
    vbs::CallArgs args(items.data(), items.size());
    bridge::FrameReader reader;
    reader.Feed(bridge::Frame(bridge::EncodeCall("Echo", args)));
    std::string body;
    EXPECT_TRUE(reader.Next(body));
    bridge::Call call;
    EXPECT_TRUE(bridge::DecodeCall(body, call));
    EXPECT_EQ(call.member, "Echo");
    return call.args.at(0);
}

Value Invoke(const vbs::ObjectRef& object, const std::string& member, std::vector<Value> args = {}) {
    vbs::CallArgs call(args.data(), args.size());
    return object->Invoke(member, vbs::InvokeKind::Get, call);
}

} // namespace

TEST(HostBridgeCodec, ValuesKeepTheirTypes) {
    EXPECT_EQ(RoundTrip(Value::Int(-7)).Type(), vbs::vbInteger);
    EXPECT_EQ(RoundTrip(Value::Long(-70000)).RawInt(), -70000);
    EXPECT_EQ(RoundTrip(Value::Double(2.5)).RawDouble(), 2.5);
    EXPECT_EQ(RoundTrip(Value::Date(46000.25)).Type(), vbs::vbDate);
    EXPECT_EQ(RoundTrip(Value::Str(std::string("a\0\xff", 3))).RawString(), std::string("a\0\xff", 3));
    EXPECT_TRUE(RoundTrip(Value::Bool(true)).RawBool());
    EXPECT_TRUE(RoundTrip(Value::Null()).IsNull());
    EXPECT_TRUE(RoundTrip(Value::Nothing()).IsNothing());
    EXPECT_TRUE(RoundTrip(Value::Missing()).IsMissing());
    EXPECT_TRUE(RoundTrip(Value()).IsEmpty());
    Value array = RoundTrip(Value::Array({Value::Int(1), Value::Str("x")}));
    ASSERT_TRUE(array.IsArray());
    EXPECT_EQ(array.RawArray()->items.at(1).RawString(), "x");

    auto dict = vbs::MakeRef<ScriptCollection>(ScriptCollection::Kind::Keyed);
    dict->Set("value", Value::Int(100));
    dict->Set("Value", Value::Int(50));  // same key, case ignored
    Value back = RoundTrip(Value::Obj(dict));
    auto* c = dynamic_cast<ScriptCollection*>(back.RawObject());
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->items().size(), 1u);
    EXPECT_EQ(c->Find("VALUE")->RawInt(), 50);
}

TEST(HostBridgeCodec, MalformedAndHostileFramesAreRefused) {
    bridge::Call call;
    EXPECT_FALSE(bridge::DecodeCall("", call));
    EXPECT_FALSE(bridge::DecodeCall("C\0\0\0\x05" "Ver", call));
    EXPECT_FALSE(bridge::DecodeCall(std::string("C\0\0\0\x01" "X" "\xff\xff\xff\xff", 10), call));  // a billion args
    std::string deep = std::string("C\0\0\0\x01X\0\0\0\x01", 10);
    for (int i = 0; i < 100; ++i) deep += std::string("A\0\0\0\x01", 5);
    deep += "E";
    EXPECT_FALSE(bridge::DecodeCall(deep, call));
    bridge::FrameReader reader;
    reader.Feed(std::string("\x7f\xff\xff\xff", 4));
    std::string body;
    EXPECT_FALSE(reader.Next(body));
    EXPECT_TRUE(reader.bad());
    // Other objects than the host's collections cannot be passed to the
    // gateway; as an answer they arrive as Nothing.
    struct Other : vbs::Object {
        std::string TypeName() const override { return "Other"; }
    };
    std::vector<Value> items{Value::Obj(vbs::MakeRef<Other>())};
    vbs::CallArgs args(items.data(), items.size());
    EXPECT_THROW(bridge::EncodeCall("x", args), vbs::ScriptError);
    bridge::Answer answer;
    ASSERT_TRUE(bridge::DecodeAnswer(bridge::EncodeResult(items[0]), answer));
    EXPECT_TRUE(answer.value.IsNothing());
}

TEST(HostBridge, ProxyCallsTheGatewaysMembersAndGetsTheirErrors) {
    ScriptGateway g("Sub Main(tag)\n  xap.WriteLog \"main\", tag\nEnd Sub\n");
    g.Start();
    ASSERT_TRUE(g.gateway->scriptServer().listening());
    vbs::ObjectRef proxy = ConnectApplication(g.platform, g.app().SocketPath());
    EXPECT_EQ(vbs::ToString(Invoke(proxy, "Version")), "1.6.174");
    EXPECT_EQ(vbs::ToLong(Invoke(proxy, "sequence", {Value::Str("nosuch")})), -1);
    Invoke(proxy, "WriteLog", {Value::Str("remote"), Value::Str("hello")});
    EXPECT_EQ(g.Logged("remote"), std::vector<std::string>{"hello"});
    Invoke(proxy, "Response", {Value::Str("Lamp"), Value::Str("on")});
    g.platform.runUntil([&] { return !g.Logged("main").empty(); }, 10000);
    EXPECT_EQ(g.Logged("main"), std::vector<std::string>{"Lamp"});
    Value request = Invoke(proxy, "Request", {Value::Str("Lamp")});
    auto* c = dynamic_cast<ScriptCollection*>(request.RawObject());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(vbs::ToLong(*c->Find("value")), 100);

    try {
        Invoke(proxy, "GetXapMessage", {Value::Int(4)});
        FAIL() << "no error";
    } catch (const vbs::ScriptError& e) {
        EXPECT_EQ(e.number, 9);
    }
    try {
        Invoke(proxy, "NoSuchMember");
        FAIL() << "no error";
    } catch (const vbs::ScriptError& e) {
        EXPECT_EQ(e.number, 438);
    }
    // The gateway goes away: the next call says so.
    g.gateway->RequestExit();
    try {
        Invoke(proxy, "Version");
        FAIL() << "no error";
    } catch (const vbs::ScriptError& e) {
        EXPECT_EQ(e.number, 462);
    }
}

TEST(HostBridge, WithoutAGatewayCreateObjectFailsWith429) {
    sim::SimPlatform platform;
    try {
        ConnectApplication(platform, "/nowhere/Data/Tarvelo.sock");
        FAIL() << "no error";
    } catch (const vbs::ScriptError& e) {
        EXPECT_EQ(e.number, 429);
        EXPECT_NE(e.description.find("no running gateway answers at /nowhere/Data/Tarvelo.sock"), std::string::npos);
    }
}
