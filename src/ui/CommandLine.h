#pragma once
// The window program's command line: [FOLDER], -h/--help, -V/--version, read before any display is
// opened so that they work without one. Qt's standard options (-style, -platform, -reverse,
// -session ...) are Qt's: they are passed over here, and QApplication takes them itself.

#include <optional>
#include <string>
#include <vector>

namespace ui {

struct CommandLine {
    std::optional<int> exitStatus;  // the program ends at once with this status
    std::string out, err;           // what it prints first on standard output and standard error
    std::string folder;             // the folder to open, absolute; empty for the current folder
};

// args are the arguments after the program's name; relative folders are taken from currentFolder.
CommandLine readCommandLine(const std::vector<std::string>& args, const std::string& currentFolder);

}  // namespace ui
