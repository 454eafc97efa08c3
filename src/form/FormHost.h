#pragma once
// What the window's logic asks of whoever shows it: message boxes and the sign of a long
// command. The window's widgets implement it with dialogs; the batch tool with stderr. The
// logic itself never opens a dialog.

#include "toolkit/DriveAndDir.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>


class FormHost {
public:
    virtual ~FormHost() = default;

    // Modal message box; style 64 is an information icon with one OK button.
    virtual void MsgBox(const QString& prompt, int style, const QString& title) = 0;

    // A command that may take long: a busy cursor at once, past about a second a progress
    // window that the user can cancel. reportProgress() returns false once cancelled;
    // total is 0 when it is not known.
    virtual void beginLongCommand(const QString& title) { (void)title; }
    virtual bool reportProgress(const QString& text, int64_t done, int64_t total) {
        (void)text, (void)done, (void)total;
        return true;
    }
    virtual void endLongCommand() {}

    // Get Contents could not read these folders (the pictures in them are not listed). A window
    // says so in one message box; the batch tool on standard error.
    virtual void foldersNotRead(const std::vector<UnreadFolder>& folders);

    // Whether a save into a named pipe that nobody reads yet waits for its reader (a command-line
    // tool) or gives up at once with a message (a window, which must not freeze).
    virtual bool waitsForPipeReaders() const { return false; }
};

// Brackets a long command; report() throws tk::Cancelled once the user has cancelled.
class LongCommand {
public:
    LongCommand(FormHost& host, const QString& title) : m_host(host) { m_host.beginLongCommand(title); }
    ~LongCommand() { m_host.endLongCommand(); }
    LongCommand(const LongCommand&) = delete;
    LongCommand& operator=(const LongCommand&) = delete;
    void report(const QString& text, int64_t done, int64_t total);

private:
    FormHost& m_host;
};
