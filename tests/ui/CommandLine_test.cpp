// The window program's command line: Qt's standard options left to Qt, FOLDER taken as typed or
// from the current folder, and a FOLDER that cannot be opened named with the reason.

#include "support/BatchProcess.h"
#include "support/TempTree.h"
#include "support/WindowDriver.h"
#include "ui/CommandLine.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

TEST(CommandLine, folders_and_options_as_people_type_them) {
    TempTree tree({"pics/a.bmp", "-dash/", "-/", "file.txt"});
    const std::string here = tree.root();
    struct Row {
        std::string arguments;  // split at blanks
        int status;             // -1: the window opens
        std::string said;       // what standard output or error starts with
        std::string folder;     // the folder it opens
    };
    const Row rows[] = {
        {"", -1, "", ""},
        {"pics", -1, "", here + "/pics"},
        {here + "/pics", -1, "", here + "/pics"},  // a file manager's %f: absolute, kept as it is
        {"-style fusion pics", -1, "", here + "/pics"},
        {"--style=fusion pics", -1, "", here + "/pics"},
        {"pics -platform offscreen", -1, "", here + "/pics"},
        {"-reverse -session 1a2b3c pics -qwindowtitle Sheets", -1, "", here + "/pics"},
        {"-- -dash", -1, "", here + "/-dash"},
        {"-h", 0, "Usage: quiltwright [OPTION]... [FOLDER]", ""},
        {"--version", 0, "quiltwright 1.02\n", ""},
        {"--colour", 2, "quiltwright: unrecognized option '--colour'", ""},
        {"-x pics", 2, "quiltwright: unrecognized option '-x'", ""},
        {"--help=x", 2, "quiltwright: option '--help' doesn't allow an argument", ""},
        {"pics pics", 2, "quiltwright: more than one FOLDER given", ""},
        {"file.txt", -1, "", here},  // Open With on a file: the folder that holds it
        {"pics/a.bmp", -1, "", here + "/pics"},
        {here + "/pics/a.bmp", -1, "", here + "/pics"},
        {"-", -1, "", here + "/-"},  // a folder named "-", not an option
        {"nowhere", 1, "quiltwright: cannot open 'nowhere': No such file or directory", ""},
        {"nowhere/a.bmp", 1, "quiltwright: cannot open 'nowhere/a.bmp': No such file or directory", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments);
        std::vector<std::string> arguments;
        for (const QString& word : QString::fromStdString(row.arguments).split(QLatin1Char(' '), Qt::SkipEmptyParts)) arguments.push_back(word.toStdString());
        const ui::CommandLine line = ui::readCommandLine(arguments, here);
        EXPECT_EQ(line.exitStatus.value_or(-1), row.status);
        EXPECT_EQ((line.out + line.err).rfind(row.said, 0), 0u) << line.out << line.err;
        if (row.status == -1) {
            EXPECT_EQ(line.folder, row.folder);
            const ui::OpenedWindow opened(line);  // the window opens on it
            EXPECT_EQ(opened.form.dir.Path(), row.folder.empty() ? frmQuiltwright::currentFolder() : row.folder);
        }
    }
    EXPECT_EQ(ui::readCommandLine({""}, here).exitStatus, 2);  // an empty FOLDER
}

TEST(CommandLine, the_window_starts_with_qt_options_and_refuses_a_folder_it_may_not_read) {
    TempTree tree({"pics/a.bmp", "secret/b.bmp"});
    ::chmod(tree.root().c_str(), 0755);
    ::chmod(tree.path("secret").c_str(), 0);
    // Offscreen, as the test runs (QT_QPA_PLATFORM); still running after a second and a half: the
    // window started.
    const auto run = [&](const QStringList& arguments, As as) { return runProgram(QStringLiteral(QW_WINDOW), arguments, {}, as, 1500); };
    const QString pics = QString::fromStdString(tree.path("pics")), secret = QString::fromStdString(tree.path("secret"));
    EXPECT_EQ(run({"-style", "fusion", pics}, As::Us).status, -1);
    EXPECT_EQ(run({"-platform", "offscreen", pics}, As::Us).status, -1);
    // Opened on a file: the window starts on its folder.
    EXPECT_EQ(run({QString::fromStdString(tree.path("pics/a.bmp"))}, As::Us).status, -1);
    // Standard error reaches no terminal here, as from a file manager: the line is printed and the
    // message box that says it too waits for its OK.
    const BatchResult refused = run({secret}, As::Nobody);
    ::chmod(tree.path("secret").c_str(), 0755);
    EXPECT_EQ(refused.status, -1);
    EXPECT_TRUE(refused.err.startsWith("quiltwright: cannot open '" + secret + "': Permission denied\n")) << refused.err.toStdString();
    WindowDriver w(tree.root());
    ui::CommandLine line = ui::readCommandLine({"nowhere"}, tree.root());
    w.act([&] { ui::showRefusal(line); });
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].text, QStringLiteral("cannot open 'nowhere': No such file or directory"));
    EXPECT_EQ(w.messages[0].title, QStringLiteral("Kestrune Quiltwright"));
}
