#include "ui/CommandLine.h"

#include "form/Form.h"

#include <QMessageBox>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

namespace ui {
namespace {

constexpr const char* kUsage = "Usage: quiltwright [OPTION]... [FOLDER]\n";
constexpr const char* kHelp =
    "Opens the Kestrune Quiltwright window, which combines every .bmp file in a folder and below it\n"
    "into one bitmap: cells of a size you type, at most 640 pixels to a row, saved as Combined.bmp.\n"
    "With FOLDER, the window opens with FOLDER in its folder list, as if you had chosen it; with a\n"
    "FILE, on the folder that holds it.\n"
    "\n"
    "  -h, --help         show this help and exit\n"
    "  -V, --version      show the version and exit\n"
    "\n"
    "Qt's standard options are taken too, such as -style NAME, -platform NAME, -reverse and\n"
    "-session ID.\n"
    "\n"
    "Exit status: 0 when the window is closed, 1 no display could be opened (or FOLDER cannot be\n"
    "opened), 2 bad usage. quiltwright-batch does the same without a window.\n";

// Qt's standard options, by name without their dash (Qt takes them with one dash or two): those
// followed by a value, those that stand alone, and those that take their value after "=".
constexpr const char* kQtWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                                        "qwindowicon", "qwindowtitle", "session", "style", "stylesheet", "display",
                                        "geometry", "title", "name", "icon", "visual", "ncols", "im", "inputstyle"};
constexpr const char* kQtAlone[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "cmap", "testability"};
constexpr const char* kQtWithEquals[] = {"style", "stylesheet", "qmljsdebugger", "session"};

bool among(const std::string& name, const auto& names) {
    return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return name == n; });
}

CommandLine ended(int status, std::string out, std::string err = {}) {
    CommandLine line;
    line.exitStatus = status;
    line.out = std::move(out);
    line.err = std::move(err);
    return line;
}

CommandLine badUsage(const std::string& problem) {
    return ended(2, {}, "quiltwright: " + problem + "\n" + kUsage + "Try 'quiltwright --help' for more information.\n");
}

}  // namespace

CommandLine readCommandLine(const std::vector<std::string>& args, const std::string& currentFolder) {
    std::vector<std::string> folders;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            folders.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") return ended(0, std::string(kUsage) + kHelp);
        if (arg == "-V" || arg == "--version") return ended(0, "quiltwright 1.02\n");
        const std::string name = arg.substr(arg[1] == '-' ? 2 : 1);
        const std::string bare = name.substr(0, name.find('='));
        if (bare != name && (bare == "help" || bare == "version") && arg[1] == '-')
            return badUsage("option '--" + bare + "' doesn't allow an argument");
        if (bare == name && among(name, kQtWithValue)) {
            ++i;  // Qt's, with its value
            continue;
        }
        if ((bare == name && among(name, kQtAlone)) || (bare != name && among(bare, kQtWithEquals))) continue;
        return badUsage("unrecognized option '" + arg.substr(0, arg.find('=')) + "'");
    }
    if (folders.size() > 1) return badUsage("more than one FOLDER given");
    CommandLine line;
    if (folders.empty()) return line;
    const std::string& folder = folders.front();
    if (folder.empty()) return badUsage("FOLDER is empty; give a folder's name ('.' for the current folder)");
    line.folder = folder.front() == '/' ? folder : currentFolder + "/" + folder;
    // The folder must be one the window can open: there, and readable.
    struct stat st;
    const auto cannot = [&](int error) {
        return ended(1, {}, "quiltwright: cannot open '" + folder + "': " + std::strerror(error) + "\n");
    };
    if (::stat(line.folder.c_str(), &st) != 0) return cannot(errno);
    // A file (Open With in a file manager): the window opens on the folder that holds it, as when
    // the file is dropped on the window.
    if (!S_ISDIR(st.st_mode)) {
        line.folder = line.folder.substr(0, std::max<size_t>(line.folder.rfind('/'), 1));
        if (::stat(line.folder.c_str(), &st) != 0) return cannot(errno);
    }
    DIR* dir = ::opendir(line.folder.c_str());
    if (!dir) return cannot(errno);
    ::closedir(dir);
    return line;
}

bool refusalsInBox() { return ::isatty(STDERR_FILENO) == 0; }

void showRefusal(const CommandLine& line) {
    QString text = QString::fromLocal8Bit(line.err.c_str()).trimmed();
    if (text.startsWith(QLatin1String("quiltwright: "))) text = text.mid(13);
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(frmQuiltwright::kCaption), text, QMessageBox::Ok);
    box.exec();
}

OpenedWindow::OpenedWindow(const CommandLine& line)
    : form(tk::Drives::mounted(), line.folder.empty() ? frmQuiltwright::currentFolder() : line.folder), window(form) {
    window.show();
}

}  // namespace ui
