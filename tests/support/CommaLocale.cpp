#include "support/CommaLocale.h"

#include <QProcess>

#include <clocale>
#include <cstdlib>
#include <cstring>

namespace {
constexpr const char* kName = "de_DE.UTF-8";
}

CommaLocale::CommaLocale() {
    if (!std::setlocale(LC_ALL, kName)) {
        // Not installed: make it where only this process looks.
        const int status = QProcess::execute("localedef", {"-i", "de_DE", "-f", "UTF-8", m_made.filePath(kName)});
        ::setenv("LOCPATH", m_made.path().toLocal8Bit().constData(), 1);
        if (status != 0 || !std::setlocale(LC_ALL, kName)) {
            ::unsetenv("LOCPATH");
            m_why = "no de_DE.UTF-8 locale, and localedef could not make one (Debian's locales package has its sources)";
            return;
        }
    }
    m_active = std::strcmp(std::localeconv()->decimal_point, ",") == 0;
    if (!m_active) m_why = "de_DE.UTF-8 does not write a decimal comma here";
}

CommaLocale::~CommaLocale() {
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
}
