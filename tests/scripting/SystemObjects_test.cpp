// Scripting.FileSystemObject and WScript.Shell as scripts use them, against
// real files in a temporary folder and real commands through /bin/sh.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "scripting/vbscript/Engine.h"
#include "scripting/vbscript/SystemObjects.h"
#include "support/TempDir.h"

using namespace tarvelo::vbs;
using tarvelo::testing::ReadFile;
using tarvelo::testing::TempDir;
using tarvelo::testing::WriteFile;
namespace fs = std::filesystem;

namespace {

// An engine with fso, sh and d (the temporary folder, written with "\") set.
class Scripted : public ::testing::Test {
protected:
    Scripted() {
        RegisterSystemObjects(e.GetRuntime());
        std::string win = dir.path().string();
        for (char& c : win)
            if (c == '/') c = '\\';
        e.AddCode("Dim fso, sh, d, ds, ts, f, x, s\n"
                  "Set fso = CreateObject(\"Scripting.FileSystemObject\")\n"
                  "Set sh = CreateObject(\"WScript.Shell\")\n"
                  "d = \"" + win + "\"\n"
                  "ds = \"" + dir.path().string() + "\"\n");
    }
    std::string Str(const std::string& expr) { return ToString(e.Eval(expr)); }
    int32_t Num(const std::string& expr) { return ToLong(e.Eval(expr)); }
    void Run(const std::string& code) { e.ExecuteStatement(code); }
    // The error number the code raises, 0 when none.
    int ErrorOf(const std::string& code) {
        try {
            e.ExecuteStatement(code);
        } catch (const ScriptException& ex) {
            return ex.info.number;
        }
        return 0;
    }
    fs::path P(const std::string& name) { return dir / name; }

    Engine e;
    TempDir dir;
};

using FileSystemObject = Scripted;
using Shell = Scripted;

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

TEST_F(FileSystemObject, ReadsFilesWrittenOnWindows) {
    WriteFile(P("crlf.txt"), "one\r\ntwo\r\n\r\nlast");
    WriteFile(P("utf8.txt"), "\xEF\xBB\xBF" "caf\xC3\xA9\r\n\xE2\x82\xAC 5\r\n");
    WriteFile(P("le.txt"), Utf16(u"caf\u00e9\r\nx\r\n", true));
    WriteFile(P("be.txt"), Utf16(u"\u20ac\r\n", false));
    Run("Set ts = fso.OpenTextFile(d & \"\\crlf.txt\")");
    EXPECT_EQ(Str("ts.ReadLine & \"|\" & ts.Line & \"|\" & ts.ReadLine & \"|\" & ts.ReadLine & \"|\" & ts.ReadLine"),
              "one|2|two||last");
    EXPECT_TRUE(ToBool(e.Eval("ts.AtEndOfStream")));
    EXPECT_EQ(ErrorOf("x = ts.ReadLine"), 62);
    Run("ts.Close");
    // A byte-order mark selects the encoding, whatever format was asked for; text is Windows-1252.
    EXPECT_EQ(Str("fso.OpenTextFile(d & \"\\utf8.txt\").ReadAll"), "caf\xE9\r\n\x80 5\r\n");
    EXPECT_EQ(Str("fso.OpenTextFile(d & \"\\le.txt\", 1, False, 0).ReadLine"), "caf\xE9");
    EXPECT_EQ(Str("fso.OpenTextFile(d & \"\\le.txt\", 1, False, -1).ReadAll"), "caf\xE9\r\nx\r\n");
    EXPECT_EQ(Str("fso.OpenTextFile(d & \"\\be.txt\").ReadLine"), "\x80");
    // Read, Skip, SkipLine, AtEndOfLine and Column on the same stream.
    Run("Set ts = fso.OpenTextFile(d & \"\\crlf.txt\")");
    EXPECT_EQ(Str("ts.Read(2)"), "on");
    EXPECT_EQ(Num("ts.Column"), 3);
    Run("ts.Skip 1");
    EXPECT_TRUE(ToBool(e.Eval("ts.AtEndOfLine")));
    Run("ts.SkipLine");
    EXPECT_EQ(Str("ts.ReadLine"), "two");
}

TEST_F(FileSystemObject, LongLinesAndCharactersSplitBetweenReads) {
    std::string big(1 << 20, 'x');
    WriteFile(P("long.txt"), big + "\r\nshort\n" + big);
    Run("Set ts = fso.OpenTextFile(d & \"\\long.txt\")");
    EXPECT_EQ(Num("Len(ts.ReadLine)"), 1 << 20);
    EXPECT_EQ(Str("ts.ReadLine"), "short");
    EXPECT_EQ(Num("Len(ts.ReadLine)"), 1 << 20);
    EXPECT_TRUE(ToBool(e.Eval("ts.AtEndOfStream")));
    // A UTF-8 character and a UTF-16 unit that straddle the 64 KiB pieces the file is read in.
    std::string u8 = "\xEF\xBB\xBF" + std::string(65536 - 3 - 1, 'a') + "\xC3\xA9" + "z";
    WriteFile(P("split8.txt"), u8);
    EXPECT_EQ(Str("Right(fso.OpenTextFile(d & \"\\split8.txt\").ReadAll, 3)"), "a\xE9z");
    // 32766 units after the mark, then a surrogate pair across the boundary: one "?".
    std::string u16 = "\xFF\xFE";
    for (int i = 0; i < 32766; ++i) u16 += std::string("b\0", 2);
    u16 += std::string("\x3D\xD8\x00\xDE" "c\0", 6);
    WriteFile(P("split16.txt"), u16);
    EXPECT_EQ(Str("Right(fso.OpenTextFile(d & \"\\split16.txt\").ReadAll, 3)"), "b?c");
}

TEST_F(FileSystemObject, WritesAppendsAndCreates) {
    Run("Set ts = fso.CreateTextFile(d & \"\\out.txt\")");
    Run("ts.Write \"a\" : ts.WriteLine \"b\" : ts.WriteBlankLines 2 : ts.WriteLine");
    EXPECT_EQ(Num("ts.Line"), 5);
    EXPECT_EQ(ErrorOf("x = ts.ReadLine"), 54);
    Run("ts.Close");
    EXPECT_EQ(ReadFile(P("out.txt")), "ab\n\n\n\n");
    EXPECT_EQ(ErrorOf("fso.CreateTextFile d & \"\\out.txt\", False"), 58);
    Run("Set ts = fso.OpenTextFile(d & \"\\out.txt\", 8) : ts.Write \"c\" : ts.Close");
    EXPECT_EQ(ReadFile(P("out.txt")), "ab\n\n\n\nc");
    Run("Set ts = fso.OpenTextFile(d & \"\\out.txt\", 2) : ts.Write \"new\" : ts.Close");
    EXPECT_EQ(ReadFile(P("out.txt")), "new");
    EXPECT_EQ(ErrorOf("fso.OpenTextFile(d & \"\\out.txt\", 1).Write \"x\""), 54);
    // The create flag, and the Unicode format with its byte-order mark.
    EXPECT_EQ(ErrorOf("fso.OpenTextFile d & \"\\new.txt\", 8"), 53);
    Run("Set ts = fso.OpenTextFile(d & \"\\new.txt\", 8, True, -1) : ts.WriteLine \"\xE9\" : ts.Close");
    EXPECT_EQ(ReadFile(P("new.txt")), std::string("\xFF\xFE\xE9\0\n\0", 6));
    Run("Set ts = fso.OpenTextFile(d & \"\\new.txt\", 8, False, -1) : ts.Write \"z\" : ts.Close");
    EXPECT_EQ(Str("fso.OpenTextFile(d & \"\\new.txt\").ReadAll"), "\xE9\nz");
    // Empty files, bad modes, closed streams.
    WriteFile(P("empty.txt"), "");
    EXPECT_EQ(ErrorOf("x = fso.OpenTextFile(d & \"\\empty.txt\").ReadAll"), 62);
    EXPECT_EQ(ErrorOf("fso.OpenTextFile d & \"\\empty.txt\", 3"), 5);
    EXPECT_EQ(ErrorOf("fso.OpenTextFile d & \"\\empty.txt\", 1, False, 7"), 5);
    Run("Set ts = fso.OpenTextFile(d & \"\\empty.txt\") : ts.Close : ts.Close");
    EXPECT_EQ(ErrorOf("x = ts.AtEndOfStream"), 54);
}

TEST_F(FileSystemObject, MissingFilesFoldersAndPermissions) {
    EXPECT_EQ(ErrorOf("fso.OpenTextFile d & \"\\none.txt\""), 53);
    EXPECT_EQ(ErrorOf("fso.OpenTextFile d & \"\\nodir\\none.txt\", 2, True"), 76);
    EXPECT_EQ(ErrorOf("fso.GetFile d & \"\\none.txt\""), 53);
    EXPECT_EQ(ErrorOf("fso.GetFolder d & \"\\nodir\""), 76);
    EXPECT_EQ(ErrorOf("fso.DeleteFile d & \"\\none.txt\""), 53);
    EXPECT_EQ(ErrorOf("fso.DeleteFolder d & \"\\nodir\""), 76);
    EXPECT_EQ(ErrorOf("fso.CreateFolder d & \"\\nodir\\sub\""), 76);
    Run("fso.CreateFolder d & \"\\sub\"");
    EXPECT_EQ(ErrorOf("fso.CreateFolder d & \"\\sub\""), 58);
    // A folder where a file is expected: permission denied, as root too.
    EXPECT_EQ(ErrorOf("fso.OpenTextFile d & \"\\sub\""), 70);
    EXPECT_EQ(ErrorOf("fso.CreateTextFile d & \"\\sub\", True"), 70);
    // The read-only attribute is honoured by the object itself, whoever runs it.
    WriteFile(P("ro.txt"), "keep");
    Run("Set f = fso.GetFile(d & \"\\ro.txt\") : f.Attributes = 1");
    EXPECT_EQ(Num("f.Attributes And 1"), 1);
    EXPECT_EQ(ErrorOf("fso.DeleteFile d & \"\\ro.txt\""), 70);
    EXPECT_EQ(ErrorOf("fso.CopyFile d & \"\\sub\\..\\ro.txt\", d & \"\\ro.txt\""), 70);
    Run("fso.DeleteFile d & \"\\ro.txt\", True");
    EXPECT_FALSE(fs::exists(P("ro.txt")));
    if (geteuid() != 0) {  // the system's own refusal; root is never refused
        WriteFile(P("locked.txt"), "x");
        chmod(P("locked.txt").c_str(), 0);
        EXPECT_EQ(ErrorOf("fso.OpenTextFile d & \"\\locked.txt\""), 70);
    }
}

TEST_F(FileSystemObject, BackslashesAndAnyCaseFindExistingFiles) {
    WriteFile(P("Sub/File.TXT"), "found\n");
    EXPECT_TRUE(ToBool(e.Eval("fso.FileExists(d & \"\\sub\\file.txt\")")));
    EXPECT_TRUE(ToBool(e.Eval("fso.FolderExists(d & \"/SUB/\")")));
    EXPECT_EQ(Str("fso.GetFile(d & \"\\SUB\\file.txt\").Name"), "File.TXT");
    EXPECT_EQ(Str("fso.OpenTextFile(d & \"\\sub\\FILE.txt\").ReadLine"), "found");
    // A new file goes into the folder that exists, under the name as written.
    Run("fso.CreateTextFile(d & \"\\SUB\\New.txt\").Close");
    EXPECT_TRUE(fs::exists(P("Sub/New.txt")));
}

TEST_F(FileSystemObject, FoldersListTheirFilesAndSubFolders) {
    WriteFile(P("top/b.txt"), "12345");
    WriteFile(P("top/A.log"), "1");
    WriteFile(P("top/inner/c.txt"), "123");
    Run("Set f = fso.GetFolder(d & \"\\top\")");
    Run("s = \"\" : For Each x In f.Files : s = s & x.Name & \":\" & x.Size & \";\" : Next");
    EXPECT_EQ(Str("s"), "A.log:1;b.txt:5;");
    Run("s = \"\" : For Each x In f.SubFolders : s = s & x.Name & \"/\" & x.Files.Count : Next");
    EXPECT_EQ(Str("s"), "inner/1");
    EXPECT_EQ(Num("f.Files.Count"), 2);
    EXPECT_EQ(Num("f.Size"), 9);
    EXPECT_EQ(Str("f.Files(\"b.txt\").ParentFolder.Name"), "top");
    EXPECT_EQ(Str("f.Path"), (dir / "top").string());
    EXPECT_EQ(Str("f"), (dir / "top").string());  // Path is the default member
    EXPECT_EQ(Num("f.Attributes And 16"), 16);
    EXPECT_LT(std::abs(ToDouble(e.Eval("f.Files(\"b.txt\").DateLastModified - Now"))), 1.0 / 24);
    EXPECT_EQ(Str("TypeName(f) & TypeName(f.Files) & TypeName(f.SubFolders) & TypeName(f.Files(\"b.txt\"))"),
              "FolderFilesFoldersFile");
    EXPECT_EQ(ErrorOf("x = f.Files(\"none.txt\")"), 53);
}

TEST_F(FileSystemObject, CopiesMovesAndDeletes) {
    WriteFile(P("a.txt"), "A");
    WriteFile(P("b.log"), "B");
    WriteFile(P("c.log"), "C");
    Run("fso.CreateFolder d & \"\\to\"");
    Run("fso.CopyFile d & \"\\a.txt\", d & \"\\to\\\"");
    EXPECT_EQ(ReadFile(P("to/a.txt")), "A");
    EXPECT_EQ(ErrorOf("fso.CopyFile d & \"\\b.log\", d & \"\\to\\a.txt\", False"), 58);
    Run("fso.CopyFile d & \"\\*.LOG\", d & \"\\to\"");
    EXPECT_EQ(ReadFile(P("to/c.log")), "C");
    Run("fso.MoveFile d & \"\\a.txt\", d & \"\\moved.txt\"");
    EXPECT_FALSE(fs::exists(P("a.txt")));
    EXPECT_EQ(ErrorOf("fso.MoveFile d & \"\\b.log\", d & \"\\moved.txt\""), 58);
    Run("fso.DeleteFile d & \"\\*.log\"");
    EXPECT_FALSE(fs::exists(P("b.log")));
    EXPECT_EQ(ErrorOf("fso.DeleteFile d & \"\\*.log\""), 53);
    // Folders: copied whole, moved, not copied into themselves, deleted with their content.
    WriteFile(P("to/deep/d.txt"), "D");
    Run("fso.CopyFolder d & \"\\to\", d & \"\\copy\"");
    EXPECT_EQ(ReadFile(P("copy/deep/d.txt")), "D");
    EXPECT_EQ(ErrorOf("fso.CopyFolder d & \"\\to\", d & \"\\to\\deep\\\""), 5);
    Run("fso.MoveFolder d & \"\\copy\", d & \"\\to\\\"");
    EXPECT_EQ(ReadFile(P("to/copy/deep/d.txt")), "D");
    EXPECT_EQ(ErrorOf("fso.MoveFolder d & \"\\to\\copy\", d & \"\\to\\deep\""), 58);
    Run("Set f = fso.GetFile(d & \"\\moved.txt\") : f.Move d & \"\\to\\\" : f.Name = \"Renamed.txt\"");
    EXPECT_EQ(Str("f.Path"), (dir / "to/Renamed.txt").string());
    Run("fso.DeleteFolder d & \"\\to\"");
    EXPECT_FALSE(fs::exists(P("to")));
}

TEST_F(FileSystemObject, PathTextNeedsNoFiles) {
    EXPECT_EQ(Str("fso.BuildPath(\"C:\\a\", \"b.txt\") & \"|\" & fso.BuildPath(\"/a/\", \"b\") & \"|\" & fso.BuildPath(\"a\", \"b\")"),
              "C:\\a\\b.txt|/a/b|a/b");
    EXPECT_EQ(Str("fso.GetFileName(\"C:\\a\\b.txt\") & \"|\" & fso.GetFileName(\"/a/dir/\") & \"|\" & fso.GetFileName(\"\")"),
              "b.txt|dir|");
    EXPECT_EQ(Str("fso.GetBaseName(\"x\\y.tar.gz\") & \"|\" & fso.GetExtensionName(\"x\\y.tar.gz\") & \"|\" & "
                  "fso.GetExtensionName(\"noext\")"),
              "y.tar|gz|");
    EXPECT_EQ(Str("fso.GetParentFolderName(\"C:\\a\\b\\\") & \"|\" & fso.GetParentFolderName(\"/a\") & \"|\" & "
                  "fso.GetParentFolderName(\"a\")"),
              "C:\\a|/|");
    EXPECT_EQ(Str("fso.GetAbsolutePathName(d & \"\\x\\..\\y\\\")"), (dir / "y").string());
    EXPECT_EQ(Str("Len(fso.GetTempName) & Left(fso.GetTempName, 3) & Right(fso.GetTempName, 4)"), "12rad.tmp");
}

TEST_F(Shell, RunWaitsForTheExitCodeOrStartsAndReturns) {
    EXPECT_EQ(Num("sh.Run(\"exit 3\", 0, True)"), 3);
    EXPECT_EQ(Num("sh.Run(\"kill -TERM $$\", 0, True)"), 128 + 15);
    // The command text reaches the shell as written: nothing expanded on the way.
    Run("x = sh.Run(\"printf '%s' '%HOME%' > \" & ds & \"/verbatim.txt\", 1, True)");
    EXPECT_EQ(ReadFile(P("verbatim.txt")), "%HOME%");
    EXPECT_EQ(Num("sh.Run(\"echo done > \" & ds & \"/later.txt\")"), 0);
    for (int i = 0; i < 500 && ReadFile(P("later.txt")) != "done\n"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ReadFile(P("later.txt")), "done\n");
}

TEST_F(Shell, ExecGivesOutputErrorAndExitCode) {
    Run("Set x = sh.Exec(\"printf 'a\\r\\nb\\n'; echo oops >&2; exit 4\")");
    EXPECT_GT(Num("x.ProcessID"), 0);
    EXPECT_EQ(Str("x.StdOut.ReadLine"), "a");
    EXPECT_EQ(Str("x.StdOut.ReadAll"), "b\n");
    EXPECT_EQ(Str("x.StdErr.ReadAll"), "oops\n");
    for (int i = 0; i < 500 && Num("x.Status") == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(Num("x.Status"), 1);
    EXPECT_EQ(Num("x.ExitCode"), 4);
    // 1 MB on standard error while the script reads standard output: no deadlock.
    Run("Set x = sh.Exec(\"head -c 1048576 /dev/zero | tr '\\0' e >&2; echo out\")");
    EXPECT_EQ(Str("x.StdOut.ReadAll"), "out\n");
    EXPECT_EQ(Num("Len(x.StdErr.ReadAll)"), 1 << 20);
    // Standard input, ended by Close.
    Run("Set x = sh.Exec(\"tr a-z A-Z\") : x.StdIn.WriteLine \"quiet\" : x.StdIn.Close");
    EXPECT_EQ(Str("x.StdOut.ReadAll"), "QUIET\n");
    // A command that does not exist is the shell's failure: exit code 127.
    Run("Set x = sh.Exec(\"no-such-command-here\")");
    EXPECT_NE(Str("x.StdErr.ReadAll"), "");
    for (int i = 0; i < 500 && Num("x.Status") == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(Num("x.ExitCode"), 127);
}

TEST_F(Shell, TerminateAndTimeOutEndTheWait) {
    Run("Set x = sh.Exec(\"exec sleep 30\")");
    Run("x.Terminate");
    for (int i = 0; i < 500 && Num("x.Status") == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(Num("x.ExitCode"), 128 + 15);
    e.SetTimeout(200);
    EXPECT_EQ(ErrorOf("x = sh.Run(\"sleep 20\", 0, True)"), kTimeoutError);
    EXPECT_EQ(ErrorOf("x = sh.Exec(\"sleep 20\").StdOut.ReadAll"), kTimeoutError);
}

TEST_F(Shell, EnvironmentIsSeenByCommands) {
    Run("Set x = sh.Environment(\"PROCESS\") : x(\"TARVELO_FSO_T\") = \"a b\"");
    EXPECT_EQ(Str("sh.Environment(\"Process\").Item(\"tarvelo_fso_t\")"), "a b");
    EXPECT_EQ(Str("sh.ExpandEnvironmentStrings(\"[%TARVELO_FSO_T%][%NO_SUCH_VAR_X%]%\")"), "[a b][%NO_SUCH_VAR_X%]%");
    EXPECT_EQ(Str("sh.Exec(\"printf %s \"\"$TARVELO_FSO_T\"\"\").StdOut.ReadAll"), "a b");
    Run("s = \"\" : For Each f In x : If Left(f, 14) = \"TARVELO_FSO_T=\" Then s = f\nNext");
    EXPECT_EQ(Str("s"), "TARVELO_FSO_T=a b");
    Run("x.Remove \"TARVELO_FSO_T\"");
    EXPECT_EQ(Str("x(\"TARVELO_FSO_T\")"), "");
    EXPECT_EQ(ErrorOf("Set x = sh.Environment(\"BOGUS\")"), 5);
    EXPECT_EQ(ErrorOf("Set x = sh.Environment(\"PROCESS\") : x(\"A=B\") = 1"), 5);
}

TEST_F(Shell, CurrentDirectoryIsWhereRelativePathsAndCommandsStart) {
    const fs::path before = fs::current_path();
    fs::create_directory(P("Work"));
    Run("sh.CurrentDirectory = d & \"\\work\"");
    EXPECT_EQ(Str("sh.CurrentDirectory"), (dir / "Work").string());
    Run("fso.CreateTextFile(\"here.txt\").Close : x = sh.Run(\"pwd > pwd.txt\", 0, True)");
    EXPECT_TRUE(fs::exists(P("Work/here.txt")));
    EXPECT_EQ(ReadFile(P("Work/pwd.txt")), (dir / "Work").string() + "\n");
    EXPECT_EQ(ErrorOf("sh.CurrentDirectory = d & \"\\none\""), 76);
    fs::current_path(before);
}

TEST_F(Shell, StartedCommandsHoldNoFilesOfTheScript) {
    Run("Set ts = fso.CreateTextFile(d & \"\\held.txt\")");
    Run("Set x = sh.Exec(\"ls -l /proc/$$/fd\")");
    std::string fds = Str("x.StdOut.ReadAll");
    EXPECT_NE(fds.find("pipe:"), std::string::npos) << fds;  // its own standard streams
    EXPECT_EQ(fds.find("held.txt"), std::string::npos) << fds;
    Run("ts.Close");
}
