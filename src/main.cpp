// Kestrune Quiltwright: combines multiple BMPs into a single BMP.

#include "form/Form.h"
#include "toolkit/Screen.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QScreen>

#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

constexpr const char* kUsage = "Usage: quiltwright [OPTION]... [FOLDER]\n";
constexpr const char* kHelp =
    "Opens the Kestrune Quiltwright window, which combines every .bmp file in a folder and below it\n"
    "into one bitmap: cells of a size you type, at most 640 pixels to a row, saved as Combined.bmp.\n"
    "With FOLDER, the window opens with FOLDER in its folder list, as if you had chosen it.\n"
    "\n"
    "  -h, --help         show this help and exit\n"
    "  -V, --version      show the version and exit\n"
    "\n"
    "Exit status: 0 when the window is closed, 1 no display could be opened (or FOLDER is not a\n"
    "folder), 2 bad usage. quiltwright-batch does the same without a window.\n";

int badUsage(const std::string& problem) {
    std::fprintf(stderr, "quiltwright: %s\n%sTry 'quiltwright --help' for more information.\n", problem.c_str(), kUsage);
    return 2;
}

// The command line, read before any display is opened: the folder to open, or the exit status
// of a command line that ends here (help, version, bad usage).
struct CommandLine {
    std::optional<int> exitStatus;
    std::string folder;
};

CommandLine readCommandLine(int argc, char* argv[]) {
    static const option kOptions[] = {
        {"help", no_argument, nullptr, 'h'}, {"version", no_argument, nullptr, 'V'}, {nullptr, 0, nullptr, 0}};
    opterr = 0;
    for (int c; (c = ::getopt_long(argc, argv, "+hV", kOptions, nullptr)) != -1;) {
        switch (c) {
        case 'h': std::fputs(kUsage, stdout), std::fputs(kHelp, stdout); return {0, {}};
        case 'V': std::puts("quiltwright 1.02"); return {0, {}};
        default: {
            const std::string given = argv[optind - 1];
            if (given.rfind("--", 0) == 0 && given.find('=') != std::string::npos)
                return {badUsage("option '" + given.substr(0, given.find('=')) + "' doesn't allow an argument"), {}};
            return {badUsage("unrecognized option '" + (optopt > 0x20 && optopt < 0x7F ? std::string("-") + char(optopt) : given) + "'"), {}};
        }
        }
    }
    if (argc - optind > 1) return {badUsage("more than one FOLDER given"), {}};
    if (argc - optind == 0) return {};
    std::string folder = argv[optind];
    struct stat st;
    if (folder.empty() || ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "quiltwright: '%s' is not a folder\n", folder.c_str());
        return {1, {}};
    }
    if (folder.front() != '/') {
        char here[PATH_MAX];
        if (::getcwd(here, sizeof here)) folder = std::string(here) + "/" + folder;
    }
    return {{}, folder};
}

// Until the application has its display, Qt's messages are kept quiet: when no display can be
// opened Qt ends the program with a fatal message after several lines of detail, and a user
// should see one clear line instead.
bool g_starting = true;
QtMessageHandler g_defaultHandler = nullptr;

void startupMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (!g_starting) return g_defaultHandler(type, context, message);
    if (type != QtFatalMsg) return;
    std::fprintf(stderr, "quiltwright: cannot open a display (%s); run it in a graphical session (X11 or Wayland)\n",
                 qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qEnvironmentVariableIsEmpty("DISPLAY")
                     ? "neither WAYLAND_DISPLAY nor DISPLAY is set"
                     : "the display server did not answer");
    std::_Exit(1);
}

}  // namespace

int main(int argc, char* argv[]) {
    const CommandLine commandLine = readCommandLine(argc, argv);
    if (commandLine.exitStatus) return *commandLine.exitStatus;
    // Native on Wayland, X11 where Wayland is not to be had.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");
    g_defaultHandler = qInstallMessageHandler(startupMessages);
    QApplication app(argc, argv);
    g_starting = false;
    QApplication::setApplicationName(QStringLiteral("Kestrune Quiltwright"));
    QApplication::setApplicationVersion(QStringLiteral("1.02"));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.kestrune.Quiltwright"));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) tk::Screen::readFrom(*screen);

    frmQuiltwright form = commandLine.folder.empty() ? frmQuiltwright() : frmQuiltwright(tk::Drives::mounted(), commandLine.folder);
    MainWindow window(form);
    window.show();
    return QApplication::exec();
}
