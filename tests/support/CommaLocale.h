#pragma once
// Switches the C library's numbers to a locale that writes 1,5 for 1.5 (German), for as long as
// it lives, making the locale when the system has not yet. active() is false, with the reason in
// why(), where no such locale can be had.

#include <QTemporaryDir>

#include <string>

class CommaLocale {
public:
    CommaLocale();
    ~CommaLocale();
    bool active() const { return m_active; }
    const std::string& why() const { return m_why; }

private:
    QTemporaryDir m_made;
    bool m_active = false;
    std::string m_why;
};
