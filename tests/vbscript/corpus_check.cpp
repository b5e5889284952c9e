// Runs one corpus script through the command-line runner and compares its
// output with the expectations written in the script:
//   ' expect: TEXT            the next line the script writes to standard output
//   ' expect error: N line L  the script ends with error N reported on line L
//   ' expect exit: N          the runner exits with code N (WScript.Quit N)
//   ' expect stderr: TEXT     standard error contains TEXT
//   ' args: A B C             command-line arguments for the script (split at blanks)
//   ' check                   run the runner's --check on the file instead of the file
//   ' stdin: TEXT             a line of the script's standard input (else it reads nothing)
// A script saved as UTF-16LE (with its byte-order mark) is read as ASCII text.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string ExpectationText(const std::string& bytes) {
    if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') return bytes;
    std::string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += bytes[i + 1] ? '?' : bytes[i];
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            if (!cur.empty() && cur.back() == '\r') cur.pop_back();
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: corpus_check RUNNER FILE.vbs\n";
        return 2;
    }
    std::string runner = argv[1], file = argv[2];
    std::vector<std::string> expected;
    int errNumber = 0, errLine = 0, exitCode = 0;
    std::string args;
    std::vector<std::string> stderrWanted;
    std::string input;
    bool check = false;
    for (const std::string& line : Lines(ExpectationText(ReadAll(file)))) {
        size_t p = line.find("' expect: ");
        if (p != std::string::npos) {
            expected.push_back(line.substr(p + 10));
            continue;
        }
        if (line.find("' expect:") != std::string::npos && line.substr(line.find("' expect:") + 9).empty()) {
            expected.emplace_back();
            continue;
        }
        p = line.find("' expect stderr: ");
        if (p != std::string::npos) {
            stderrWanted.push_back(line.substr(p + 17));
            continue;
        }
        if (line == "' check") check = true;
        if (line.rfind("' stdin: ", 0) == 0) input += line.substr(9) + "\n";
        p = line.find("' expect error: ");
        if (p != std::string::npos) std::sscanf(line.c_str() + p + 16, "%d line %d", &errNumber, &errLine);
        p = line.find("' expect exit: ");
        if (p != std::string::npos) exitCode = std::atoi(line.c_str() + p + 15);
        p = line.find("' args: ");
        if (p == 0) {
            std::istringstream words(line.substr(8));
            for (std::string w; words >> w;) args += " " + Quote(w);
        }
    }
    char outName[] = "/tmp/vbs-corpus-outXXXXXX";
    char errName[] = "/tmp/vbs-corpus-errXXXXXX";
    char inName[] = "/tmp/vbs-corpus-inXXXXXX";
    int fo = mkstemp(outName), fe = mkstemp(errName), fi = mkstemp(inName);
    if (fo < 0 || fe < 0 || fi < 0) return 2;
    if (write(fi, input.data(), input.size()) != static_cast<ssize_t>(input.size())) return 2;
    close(fo);
    close(fe);
    close(fi);
    std::string cmd = Quote(runner) + (check ? " --check " : " ") + Quote(file) + args + " >" + outName + " 2>" +
                      errName + " <" + inName;
    int status = std::system(cmd.c_str());
    int rc = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    std::vector<std::string> got = Lines(ReadAll(outName));
    std::string err = ReadAll(errName);
    unlink(outName);
    unlink(errName);
    unlink(inName);

    bool ok = true;
    size_t n = std::max(got.size(), expected.size());
    for (size_t i = 0; i < n; ++i) {
        const std::string* g = i < got.size() ? &got[i] : nullptr;
        const std::string* e = i < expected.size() ? &expected[i] : nullptr;
        if (g && e && *g == *e) continue;
        std::cerr << "line " << i + 1 << " of output: expected " << (e ? "\"" + *e + "\"" : "nothing") << ", got "
                  << (g ? "\"" + *g + "\"" : "nothing") << "\n";
        ok = false;
    }
    if (errNumber) {
        std::string want = "(" + std::to_string(errLine) + ", ";
        std::string wantNo = "(error " + std::to_string(errNumber) + ")";
        if (rc != 1 || err.find(want) == std::string::npos || err.find(wantNo) == std::string::npos) {
            std::cerr << "expected error " << errNumber << " on line " << errLine << ", got exit " << rc << ": " << err;
            ok = false;
        }
    } else if (rc != exitCode) {
        std::cerr << "exit code " << rc << ": " << err;
        ok = false;
    }
    for (const std::string& w : stderrWanted) {
        if (err.find(w) != std::string::npos) continue;
        std::cerr << "standard error lacks \"" << w << "\": " << err;
        ok = false;
    }
    if (!ok) std::cerr << "in " << file << "\n";
    return ok ? 0 : 1;
}
