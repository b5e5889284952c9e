// The built-in library: registers the function groups (one file each), the
// vb... constants, CreateObject and the host's message boxes on a runtime.
#include <string>

#include "scripting/vbscript/Library.h"
#include "scripting/vbscript/Runtime.h"
#include "scripting/vbscript/Value.h"

namespace tarvelo::vbs {

void RegisterStrings(Runtime& rt);
void RegisterConvert(Runtime& rt);
void RegisterDateTime(Runtime& rt);
void RegisterMath(Runtime& rt);
void RegisterObjects(Runtime& rt);

namespace {

Value CreateObjectFn(Runtime& rt, CallArgs& a) { return Value::Obj(rt.CreateObject(ToString(a[0]))); }

// GetObject(pathname[, class]): "" with a class makes a new object as CreateObject
// does. Files, running applications and monikers (winmgmts:, LDAP:, WinNT:) have
// no provider on this system: error 429 naming what was asked for.
Value GetObjectFn(Runtime& rt, CallArgs& a) {
    std::string path = a.Has(0) && !a[0].IsNull() ? ToString(a[0]) : std::string();
    std::string cls = a.Has(1) && !a[1].IsNull() ? ToString(a[1]) : std::string();
    if (path.empty() && !cls.empty() && a.Has(0)) return Value::Obj(rt.CreateObject(cls));
    std::string what = path.empty() ? cls : path;
    ScriptError e(429, "ActiveX component can't create object: GetObject has no provider for '" + what +
                           "' on this system");
    throw e;
}

std::string OptText(const CallArgs& a, size_t i) { return a.Has(i) && !a[i].IsNull() ? ToString(a[i]) : std::string(); }

// MsgBox(prompt[, buttons[, title[, helpfile, context]]]) -> the button pressed.
Value MsgBoxFn(Runtime& rt, CallArgs& a) {
    int32_t buttons = a.Has(1) ? ToLong(a[1]) : 0;
    return Value::Int(static_cast<int16_t>(rt.MsgBox(OptText(a, 0), buttons, OptText(a, 2))));
}

// InputBox(prompt[, title[, default[, xpos, ypos[, helpfile, context]]]])
Value InputBoxFn(Runtime& rt, CallArgs& a) {
    return Value::Str(rt.InputBox(OptText(a, 0), OptText(a, 1), OptText(a, 2)));
}

// The locale is fixed to US English; SetLocale answers the previous one and changes nothing.
Value GetLocale(Runtime&, CallArgs&) { return Value::Long(1033); }
Value SetLocale(Runtime&, CallArgs&) { return Value::Long(1033); }

Value ScriptEngine(Runtime&, CallArgs&) { return Value::Str("VBScript"); }
Value ScriptEngineMajorVersion(Runtime&, CallArgs&) { return Value::Long(5); }
Value ScriptEngineMinorVersion(Runtime&, CallArgs&) { return Value::Long(8); }
Value ScriptEngineBuildVersion(Runtime&, CallArgs&) { return Value::Long(16384); }

void RegisterConstants(Runtime& rt) {
    rt.AddConstant("vbCrLf", Value::Str("\r\n"));
    rt.AddConstant("vbNewLine", Value::Str("\r\n"));
    rt.AddConstant("vbCr", Value::Str("\r"));
    rt.AddConstant("vbLf", Value::Str("\n"));
    rt.AddConstant("vbTab", Value::Str("\t"));
    rt.AddConstant("vbFormFeed", Value::Str("\f"));
    rt.AddConstant("vbVerticalTab", Value::Str("\v"));
    rt.AddConstant("vbNullString", Value::Str(""));
    rt.AddConstant("vbNullChar", Value::Str(std::string(1, '\0')));

    static const struct { const char* name; int16_t value; } kIntegers[] = {
        {"vbBinaryCompare", 0}, {"vbTextCompare", 1}, {"vbDatabaseCompare", 2},
        {"vbUseSystem", 0}, {"vbUseSystemDayOfWeek", 0}, {"vbSunday", 1}, {"vbMonday", 2}, {"vbTuesday", 3},
        {"vbWednesday", 4}, {"vbThursday", 5}, {"vbFriday", 6}, {"vbSaturday", 7},
        {"vbFirstJan1", 1}, {"vbFirstFourDays", 2}, {"vbFirstFullWeek", 3},
        {"vbGeneralDate", 0}, {"vbLongDate", 1}, {"vbShortDate", 2}, {"vbLongTime", 3}, {"vbShortTime", 4},
        {"vbOKOnly", 0}, {"vbOKCancel", 1}, {"vbAbortRetryIgnore", 2}, {"vbYesNoCancel", 3}, {"vbYesNo", 4},
        {"vbRetryCancel", 5}, {"vbCritical", 16}, {"vbQuestion", 32}, {"vbExclamation", 48},
        {"vbInformation", 64}, {"vbDefaultButton1", 0}, {"vbDefaultButton2", 256}, {"vbDefaultButton3", 512},
        {"vbDefaultButton4", 768}, {"vbApplicationModal", 0}, {"vbSystemModal", 4096},
        {"vbOK", 1}, {"vbCancel", 2}, {"vbAbort", 3}, {"vbRetry", 4}, {"vbIgnore", 5}, {"vbYes", 6}, {"vbNo", 7},
        {"vbEmpty", 0}, {"vbNull", 1}, {"vbInteger", 2}, {"vbLong", 3}, {"vbSingle", 4}, {"vbDouble", 5},
        {"vbCurrency", 6}, {"vbDate", 7}, {"vbString", 8}, {"vbObject", 9}, {"vbError", 10}, {"vbBoolean", 11},
        {"vbVariant", 12}, {"vbDataObject", 13}, {"vbDecimal", 14}, {"vbByte", 17}, {"vbArray", 8192},
        {"vbTrue", -1}, {"vbFalse", 0}, {"vbUseDefault", -2},
    };
    for (const auto& c : kIntegers) rt.AddConstant(c.name, Value::Int(c.value));
    // These are Long whatever their value (vbBlack is a Long 0), as scripts that test VarType expect.
    static const struct { const char* name; int32_t value; } kLongs[] = {
        {"vbMsgBoxHelpButton", 16384}, {"vbMsgBoxSetForeground", 65536}, {"vbMsgBoxRight", 524288},
        {"vbMsgBoxRtlReading", 1048576}, {"vbObjectError", -2147221504},
        {"vbBlack", 0x000000}, {"vbRed", 0x0000FF}, {"vbGreen", 0x00FF00}, {"vbYellow", 0x00FFFF},
        {"vbBlue", 0xFF0000}, {"vbMagenta", 0xFF00FF}, {"vbCyan", 0xFFFF00}, {"vbWhite", 0xFFFFFF},
    };
    for (const auto& c : kLongs) rt.AddConstant(c.name, Value::Long(c.value));
}

} // namespace

void RegisterLibrary(Runtime& rt) {
    RegisterConstants(rt);
    RegisterStrings(rt);
    RegisterConvert(rt);
    RegisterDateTime(rt);
    RegisterMath(rt);
    RegisterObjects(rt);
    rt.AddFunction("CreateObject", CreateObjectFn, 1, 2);
    rt.AddFunction("GetObject", GetObjectFn, 0, 2);
    rt.AddFunction("MsgBox", MsgBoxFn, 1, 5);
    rt.AddFunction("InputBox", InputBoxFn, 1, 7);
    rt.AddFunction("GetLocale", GetLocale, 0, 0);
    rt.AddFunction("SetLocale", SetLocale, 0, 1);
    rt.AddFunction("ScriptEngine", ScriptEngine, 0, 0);
    rt.AddFunction("ScriptEngineMajorVersion", ScriptEngineMajorVersion, 0, 0);
    rt.AddFunction("ScriptEngineMinorVersion", ScriptEngineMinorVersion, 0, 0);
    rt.AddFunction("ScriptEngineBuildVersion", ScriptEngineBuildVersion, 0, 0);
}

} // namespace tarvelo::vbs
