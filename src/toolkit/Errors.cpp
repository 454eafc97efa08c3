#include "toolkit/Errors.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tk {

Error::Error(int number, QString description)
    : m_number(number), m_description(std::move(description)),
      m_what(errorReportText(number, m_description).toStdString()) {}

Error overflowError() { return Error(kOverflow, QStringLiteral("Overflow")); }

Error floatingPointError() {
    return Error(kOverflow, QStringLiteral("Overflow (floating-point result out of range)"));
}

Error fileError(int errnoValue, const QString& path) {
    const QString reason = QString::fromLocal8Bit(std::strerror(errnoValue));
    switch (errnoValue) {
    case ENOENT: return Error(kFileNotFound, QStringLiteral("File not found: %1").arg(path));
    case ENOTDIR: return Error(kPathNotFound, QStringLiteral("Path not found: %1").arg(path));
    case EACCES:
    case EPERM:
    case EROFS: return Error(kPermissionDenied, QStringLiteral("Permission denied: %1 (%2)").arg(path, reason));
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return Error(kDiskFull, QStringLiteral("Disk full: %1 (%2)").arg(path, reason));
    case ENOMEM: return Error(kOutOfMemory, QStringLiteral("Out of memory: %1").arg(path));
    default: return Error(kPathFileAccess, QStringLiteral("Path/File access error: %1 (%2)").arg(path, reason));
    }
}

Error errorOf(const storage::Failure& failure) {
    // The words hold "%1" where the path goes; the path is put in once, never read as words.
    const auto words = [&](const std::string& text) {
        const QString all = QString::fromStdString(text);
        const qsizetype at = all.indexOf(QLatin1String("%1"));
        return at < 0 ? all : all.left(at) + displayPath(failure.path()) + all.mid(at + 2);
    };
    switch (failure.refusal()) {
    case storage::Refusal::None:
        return fileError(failure.errnoValue(), failure.words().empty() ? displayPath(failure.path()) : words(failure.words()));
    case storage::Refusal::Denied: return Error(kPermissionDenied, words(failure.words()));
    case storage::Refusal::Access: return Error(kPathFileAccess, words(failure.words()));
    case storage::Refusal::NotAPicture: return Error(kInvalidPicture, words(failure.words()));
    case storage::Refusal::OutOfMemory: return Error(kOutOfMemory, words(failure.words()));
    }
    return fileError(failure.errnoValue(), displayPath(failure.path()));
}

QString errorReportText(int number, const QString& description) {
    return QStringLiteral("Error %1\n\n%2").arg(number).arg(description);
}

QString displayPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

namespace {
EventCatcher& catcher() {
    static EventCatcher instance;
    return instance;
}
int& eventDepth() {
    static int depth = 0;
    return depth;
}
}  // namespace

EventCatcher setEventCatcher(EventCatcher c) { return std::exchange(catcher(), std::move(c)); }

void raiseEvent(const std::function<void()>& handler) {
    if (!handler) return;
    struct Depth {
        Depth() { ++eventDepth(); }
        ~Depth() { --eventDepth(); }
    };
    if (eventDepth() > 0 || !catcher()) {
        Depth depth;
        handler();
        return;
    }
    Depth depth;
    catcher()(handler);
}

}  // namespace tk
