#pragma once
// Runs the batch tool as a user would, from a shell or as another user.

#include <QByteArray>
#include <QString>
#include <QStringList>

struct BatchResult {
    int status = -1;
    QString out, err;
    QByteArray bytes;  // standard output as it came
};

// shell, when given, is run first in the same shell (ulimit, a redirection ...), and as Nobody the
// tool runs as an unprivileged user where the tests run as root.
enum class As { Us, Nobody };
BatchResult batch(const QStringList& arguments, const QString& shell = {}, As as = As::Us);
// Any program so; one still running after waitMs is ended, with status -1.
BatchResult runProgram(const QString& program, const QStringList& arguments, const QString& shell = {}, As as = As::Us,
                       int waitMs = 60000);
