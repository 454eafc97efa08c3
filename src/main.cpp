// Kestrune Quiltwright: combines multiple BMPs into a single BMP.

#include "toolkit/Screen.h"
#include "ui/CommandLine.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

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
    // Read before any display is opened; Qt's own options are left for QApplication to take.
    const ui::CommandLine commandLine = ui::readCommandLine(std::vector<std::string>(argv + 1, argv + argc), frmQuiltwright::currentFolder());
    std::fputs(commandLine.out.c_str(), stdout);
    std::fputs(commandLine.err.c_str(), stderr);
    // A folder that cannot be opened is also said in a message box where no terminal shows the line.
    const bool refusalInBox = commandLine.exitStatus == 1 && ui::refusalsInBox();
    if (commandLine.exitStatus && !refusalInBox) return *commandLine.exitStatus;
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
    if (refusalInBox) {
        ui::showRefusal(commandLine);
        return *commandLine.exitStatus;
    }

    const ui::OpenedWindow opened(commandLine);
    return QApplication::exec();
}
