#pragma once
// Errors of the toolkit layer. The core raises them as exceptions; one place in the window,
// where events are dispatched, catches them and reports them, and the program goes on.
//
// This layer keeps the classic toolkit's vocabulary (AddItem, ListCount, PaintPicture, Value,
// cmdCombine_Click ...) on purpose: the window's code reads in its terms. Everything else in
// the project uses ordinary Qt-style names.

#include "storage/Failure.h"

#include <QString>

#include <exception>
#include <functional>
#include <string>

namespace tk {

enum ErrorNumber {
    kOverflow = 6,
    kOutOfMemory = 7,
    kDivisionByZero = 11,
    kFileNotFound = 53,
    kDiskFull = 61,
    kDeviceUnavailable = 68,
    kPermissionDenied = 70,
    kPathFileAccess = 75,
    kPathNotFound = 76,
    kInvalidPropertyValue = 380,
    kInvalidPicture = 481,
};

class Error : public std::exception {
public:
    Error(int number, QString description);
    int number() const { return m_number; }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    int m_number = 0;
    QString m_description;
    std::string m_what;
};

// Thrown when the user cancels a long command: it ends the command like an error, silently.
class Cancelled : public std::exception {
public:
    const char* what() const noexcept override { return "cancelled"; }
};

// The toolkit's standard errors.
Error overflowError();
Error floatingPointError();
// An error from the operating system's errno, naming the path it concerns.
Error fileError(int errnoValue, const QString& path);
// The error number and message of a failure of the storage floor: the one place they are given.
Error errorOf(const storage::Failure& failure);

// Text shown for an error in the report: number and description.
QString errorReportText(int number, const QString& description);

// Paths are kept as the file system's own bytes; this is how they are shown to the user.
QString displayPath(const std::string& path);

// Events. Every control event goes through raiseEvent(). The window installs one handler that
// runs outermost events and reports what they throw; events raised inside another handler
// (a bar's Change while Combine writes its Value) run directly, inside it.
using EventCatcher = std::function<void(const std::function<void()>&)>;
// Installs the catcher and returns the one it replaces.
EventCatcher setEventCatcher(EventCatcher catcher);
void raiseEvent(const std::function<void()>& handler);

}  // namespace tk
