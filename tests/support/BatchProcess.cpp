#include "support/BatchProcess.h"

#include <QProcess>

#include <unistd.h>

BatchResult batch(const QStringList& arguments, const QString& shell, As as) {
    QStringList command = {QStringLiteral(QW_BATCH)};
    if (as == As::Nobody && ::geteuid() == 0)
        command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
    if (!shell.isEmpty()) command = QStringList{"bash", "-c", shell + " && exec \"$0\" \"$@\""} + command;
    QProcess process;
    const QString program = command.takeFirst();
    process.start(program, command + arguments);
    process.waitForFinished(60000);
    const QByteArray out = process.readAllStandardOutput();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, QString::fromLocal8Bit(out),
            QString::fromLocal8Bit(process.readAllStandardError()), out};
}
