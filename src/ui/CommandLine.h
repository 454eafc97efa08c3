#pragma once
// The window program's command line: [FOLDER], -h/--help, -V/--version, read before any display is
// opened so that they work without one. Qt's standard options (-style, -platform, -reverse,
// -session ...) are Qt's: they are passed over here, and QApplication takes them itself.

#include "form/Form.h"
#include "ui/MainWindow.h"

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
// A FILE stands for the folder that holds it (a file manager's Open With passes the file).
CommandLine readCommandLine(const std::vector<std::string>& args, const std::string& currentFolder);

// Whether a refusal is shown in a message box too: when standard error reaches no terminal, as
// when a file manager or a desktop entry starts the program, nobody would read the line.
bool refusalsInBox();
// Shows the refusal's line (its err) in a message box; needs the application.
void showRefusal(const CommandLine& line);

// The window a command line opens, shown: its folder list on FOLDER, or on the current folder
// where none is given. Needs the application.
struct OpenedWindow {
    explicit OpenedWindow(const CommandLine& line);
    frmQuiltwright form;
    MainWindow window;
};

}  // namespace ui
