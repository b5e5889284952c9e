// Job files (.wsf): the reader, where src files are found, and tarvelo-vbs
// running them, including the job file the gateway's Spawn writes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "scripting/vbscript/Engine.h"
#include "scripting/vbscript/JobFiles.h"
#include "support/TempDir.h"

using namespace tarvelo::vbs;
using tarvelo::testing::ReadFile;
using tarvelo::testing::TempDir;
using tarvelo::testing::WriteFile;
namespace fs = std::filesystem;

namespace {

// The nine lines Spawn writes for script "Lights.txt", procedure "Toggle", argument "on".
const char kSpawnJob[] =
    "<job id=\"Lights\">\r\n"
    "<script language=\"VBScript\" src=\"..\\Lights.txt\"/>\r\n"
    "<script language=\"VBScript\">\r\n"
    "Dim xap\r\n"
    "Set xap = createobject(\"Tarvelo.Application\")\r\n"
    "Toggle \"on\"\r\n"
    "Set xap = Nothing\r\n"
    "</Script>\r\n"
    "</Job>\r\n";

struct RunResult {
    int exitCode = -1;
    std::string out, err;
};

RunResult RunVbs(const TempDir& dir, const std::string& args) {
    const std::string runner = std::string(TARVELO_BINARY_DIR) + "/bin/tarvelo-vbs";
    const fs::path out = dir / "stdout.txt", err = dir / "stderr.txt";
    std::string cmd = "'" + runner + "' " + args + " >'" + out.string() + "' 2>'" + err.string() + "' </dev/null";
    int status = std::system(cmd.c_str());
    RunResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    return r;
}

}  // namespace

TEST(JobFile, ReadsTheSpawnJobWithCodeWhereTheFileHasIt) {
    JobFile job = ParseJobFile(kSpawnJob);
    ASSERT_FALSE(job.error) << job.error->message;
    EXPECT_EQ(job.id, "Lights");
    ASSERT_EQ(job.scripts.size(), 2u);
    EXPECT_EQ(job.scripts[0].src, "..\\Lights.txt");
    EXPECT_FALSE(job.scripts[0].hasCode);
    ASSERT_TRUE(job.scripts[1].hasCode);
    // Lines 1-3 are blank in the code, so the engine's line numbers are the file's.
    EXPECT_EQ(job.scripts[1].code.substr(0, 2), "\n\n");
    EXPECT_NE(job.scripts[1].code.find("\nDim xap\r\nSet xap"), std::string::npos);
    try {
        Engine e;
        e.AddCode(job.scripts[1].code);
        FAIL() << "CreateObject without a provider should fail";
    } catch (const ScriptException& ex) {
        EXPECT_EQ(ex.info.number, 429);
        EXPECT_EQ(ex.info.line, 5);
    }
}

TEST(JobFile, ElementsLanguagesAndJobs) {
    const char* text =
        "<?xml version=\"1.0\"?>\n"
        "<package>\n"
        "<job id=\"first\"><script language=\"VBScript\">x = 1</script></job>\n"
        "<JOB ID='Second'>\n"
        "  <!-- <script language=\"JScript\"> in a comment is no element -->\n"
        "  <object id=\"dict\" progid=\"Scripting.Dictionary\"/>\n"
        "  <script language=\"vbscript\"><![CDATA[If a < b Then c = \"&amp;\"]]></script>\n"
        "  <script language=\"VBScript\">d = 1 &lt; 2</script>\n"
        "</JOB>\n"
        "</package>\n";
    JobFile first = ParseJobFile(text);
    ASSERT_FALSE(first.error);
    EXPECT_EQ(first.id, "first");
    ASSERT_EQ(first.scripts.size(), 1u);
    JobFile second = ParseJobFile(text, "second");
    ASSERT_FALSE(second.error) << second.error->message;
    ASSERT_EQ(second.objects.size(), 1u);
    EXPECT_EQ(second.objects[0].id, "dict");
    EXPECT_EQ(second.objects[0].progId, "Scripting.Dictionary");
    ASSERT_EQ(second.scripts.size(), 2u);
    // CDATA is taken as written, its markers blanked; outside it a declared XML file's entities are decoded.
    EXPECT_NE(second.scripts[0].code.find("         If a < b Then c = \"&amp;\"   "), std::string::npos);
    EXPECT_NE(second.scripts[1].code.find("d = 1 < 2"), std::string::npos);
    // Without the declaration the code is exactly what the file holds.
    JobFile loose = ParseJobFile("<job><script language=\"VBScript\">d = 1 &lt; 2 & \"<x>\"</script></job>");
    ASSERT_FALSE(loose.error);
    EXPECT_NE(loose.scripts[0].code.find("d = 1 &lt; 2 & \"<x>\""), std::string::npos);

    JobFile other = ParseJobFile("<job>\n\n  <script language=\"JScript\">var x;</script></job>");
    ASSERT_TRUE(other.error);
    EXPECT_EQ(other.error->line, 3);
    EXPECT_EQ(other.error->column, 3);
    EXPECT_NE(other.error->message.find("\"JScript\" is not supported"), std::string::npos);
    JobFile none = ParseJobFile("");
    ASSERT_TRUE(none.error);
    EXPECT_EQ(none.error->line, 1);
    EXPECT_EQ(none.error->column, 1);
    EXPECT_TRUE(ParseJobFile(text, "third").error);
    EXPECT_TRUE(ParseJobFile("<script language=\"VBScript\">x</script>").error);
    EXPECT_TRUE(ParseJobFile("<job><script language=\"VBScript\">x = 1\n</job>").error);
    EXPECT_TRUE(ParseJobFile("<job><script src=\"a.vbs\"/></job>").error);
}

TEST(JobFile, SourcesAreFoundBesideTheJobWhenTheirPathMisses) {
    TempDir dir;
    WriteFile(dir / "Scripts/Lights.txt", "' lights");
    WriteFile(dir / "Scripts/lib/Util.vbs", "' util");
    WriteFile(dir / "Common.vbs", "' common");
    const fs::path job = dir / "Scripts/Lights~.wsf";
    EXPECT_EQ(JobSourcePath(job, "..\\Lights.txt"), dir / "Scripts/Lights.txt");
    EXPECT_EQ(JobSourcePath(job, "LIB\\util.vbs"), dir / "Scripts/lib/Util.vbs");
    EXPECT_EQ(JobSourcePath(job, "..\\common.vbs"), dir / "Scripts/../Common.vbs");
    EXPECT_FALSE(fs::exists(JobSourcePath(job, "..\\Missing.txt")));
}

TEST(JobFile, TarveloVbsRunsTheSpawnJob) {
    TempDir dir;
    WriteFile(dir / "Scripts/Lights.txt",
              "#include \"helper.txt\"\r\n"
              "Sub Toggle(arg)\r\n"
              "    Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
              "    fso.CreateTextFile(\"" + (dir / "toggled.txt").string() + "\").Write Prefix & arg\r\n"
              "End Sub\r\n"
              "Toggle \"loaded\"\r\n");
    WriteFile(dir / "Scripts/helper.txt", "Const Prefix = \"light \"\r\n");
    WriteFile(dir / "Scripts/Lights~.wsf", kSpawnJob);
    // No gateway runs here: the job's own script ran, then Tarvelo.Application fails on line 5.
    RunResult r = RunVbs(dir, "'" + (dir / "Scripts/Lights~.wsf").string() + "'");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(ReadFile(dir / "toggled.txt"), "light loaded");
    EXPECT_NE(r.err.find("Lights~.wsf(5, 1)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("(error 429)"), std::string::npos) << r.err;

    // The same job with a host object that exists: the procedure runs with the argument.
    std::string job = kSpawnJob;
    job.replace(job.find("Tarvelo.Application"), 19, "Scripting.Dictionary");
    WriteFile(dir / "Scripts/Lights~.wsf", job);
    r = RunVbs(dir, "'" + (dir / "Scripts/Lights~.wsf").string() + "'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "toggled.txt"), "light on");
}

TEST(JobFile, TarveloVbsReportsJobErrorsBeforeRunningAnything) {
    TempDir dir;
    WriteFile(dir / "a.wsf",
              "<job>\n<script language=\"VBScript\">\nWScript.Echo \"ran\"\n</script>\n"
              "<script language=\"VBScript\">\nIf Then\n</script>\n</job>\n");
    RunResult r = RunVbs(dir, "'" + (dir / "a.wsf").string() + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");  // a syntax error anywhere: nothing runs
    EXPECT_NE(r.err.find("a.wsf(6, "), std::string::npos) << r.err;

    WriteFile(dir / "b.wsf", "<job><script language=\"VBScript\" src=\"nothere.vbs\"/></job>");
    r = RunVbs(dir, "'" + (dir / "b.wsf").string() + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("nothere.vbs"), std::string::npos) << r.err;

    WriteFile(dir / "c.wsf", "<job id=\"x\"><script language=\"VBScript\">WScript.Echo 1</script></job>\n"
                             "<job id=\"y\"><object id=\"o\" progid=\"No.Such\"/></job>");
    r = RunVbs(dir, "--job y '" + (dir / "c.wsf").string() + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("c.wsf(2, 13) <object id=\"o\" progid=\"No.Such\">"), std::string::npos) << r.err;
    r = RunVbs(dir, "--job X '" + (dir / "c.wsf").string() + "'");
    EXPECT_EQ(r.out, "1\n");
}
