// Job files (.wsf): XML-like files whose <job> element holds <script> elements,
// inline or naming a file with src, run in order as one program, and <object>
// elements, made before any script runs. The gateway's Spawn writes one:
//
//   <job id="name">
//   <script language="VBScript" src="..\name.txt"/>
//   <script language="VBScript">
//   Dim xap
//   Set xap = createobject("Tarvelo.Application")
//   Procedure "argument"
//   Set xap = Nothing
//   </Script>
//   </Job>
//
// Element and attribute names are matched without regard to case. Without an
// <?xml ...?> declaration the code of an inline script is taken as written (a
// "<" or "&" in it is code); with one, entities are decoded outside CDATA
// sections, as an XML reader would.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelo::vbs {

struct JobScript {
    std::string src;   // the file named by src, as written; empty when none
    std::string code;  // the inline code, laid out so that its lines and columns are those of the job file
    bool hasCode = false;
    int line = 0;      // where the element starts (1-based)
    int column = 0;
};

struct JobObject {
    std::string id;
    std::string progId;
    int line = 0;
    int column = 0;
};

struct JobError {
    int line = 0;
    int column = 0;
    std::string message;
};

struct JobFile {
    std::string id;
    std::vector<JobScript> scripts;  // in file order
    std::vector<JobObject> objects;
    std::optional<JobError> error;   // the job cannot run; nothing else is meaningful
};

// The job with the given id (compared without regard to case), or the first
// job when jobId is empty. Scripts in a language other than VBScript, a job
// that is not there and elements that do not end are errors.
JobFile ParseJobFile(std::string_view text, const std::string& jobId = {});

// The file a script element's src names: relative to the job file's folder,
// "\" read as "/", found whatever its case. When no such file exists, the
// same file name beside the job file is taken if it exists: the gateway writes
// its jobs into the scripts folder and names the script "..\name.txt".
std::filesystem::path JobSourcePath(const std::filesystem::path& jobFile, const std::string& src);

}  // namespace tarvelo::vbs
