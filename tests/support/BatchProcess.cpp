#include "support/BatchProcess.h"

#include <QProcess>

#include <unistd.h>

BatchResult batch(const QStringList& arguments, const QString& shell, As as) {
    return runProgram(QStringLiteral(QW_BATCH), arguments, shell, as);
}

BatchResult runProgram(const QString& program, const QStringList& arguments, const QString& shell, As as, int waitMs) {
    QStringList command = {program};
    if (as == As::Nobody && ::geteuid() == 0)
        command = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
    if (!shell.isEmpty()) command = QStringList{"bash", "-c", shell + " && exec \"$0\" \"$@\""} + command;
    QProcess process;
    const QString first = command.takeFirst();
    process.start(first, command + arguments);
    const bool ended = process.waitForFinished(waitMs);
    if (!ended) process.kill(), process.waitForFinished();
    const QByteArray out = process.readAllStandardOutput();
    return {ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, QString::fromLocal8Bit(out),
            QString::fromLocal8Bit(process.readAllStandardError()), out};
}
