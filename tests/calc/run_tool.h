#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace mirelo::test {

struct ToolRun {
    std::string out, err;
    int status = -1;
};

inline std::string Slurp(const std::filesystem::path& file) {
    std::ostringstream s;
    s << std::ifstream(file, std::ios::binary).rdbuf();
    return s.str();
}

inline std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

// Runs mirelo-calc with `args` in `workDir`, by default an empty folder, so that no tables are
// found there by accident.
inline ToolRun RunTool(const std::vector<std::string>& args, std::filesystem::path workDir = {}) {
    const auto scratch = std::filesystem::temp_directory_path() / ("mirelo-calc-run-" + std::to_string(::getpid()));
    std::filesystem::create_directories(scratch / "work");
    std::string cmd = "cd " + Quoted((workDir.empty() ? scratch / "work" : workDir).string()) + " && " + Quoted(MIRELO_CALC_EXE);
    // Appended piece by piece: GCC 12 at -O3 warns (falsely) about "literal" + string temporaries.
    for (const auto& a : args) {
        cmd += ' ';
        cmd += Quoted(a);
    }
    cmd += " >";
    cmd += Quoted((scratch / "out").string());
    cmd += " 2>";
    cmd += Quoted((scratch / "err").string());
    const int raw = std::system(cmd.c_str());
    ToolRun run{Slurp(scratch / "out"), Slurp(scratch / "err"), WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
    std::filesystem::remove_all(scratch);
    return run;
}

}  // namespace mirelo::test
