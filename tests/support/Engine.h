#pragma once
// The engine check: Phaser (fetched by make test) in Debian's headless Chromium, on pages of
// tests/engine served from a temporary folder over HTTP, as a game loads its assets.

#include "support/TempTree.h"

#include <QJsonObject>
#include <QProcess>
#include <QString>

class Engine {
public:
    // Serves tree's folder "game" (made here, with phaser.min.js and the page copied into it).
    Engine(const TempTree& tree, const QString& page);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Why the engine cannot run here (no browser, no Node.js, Phaser not fetched); empty when it can.
    const QString& missing() const { return m_missing; }
    // Opens the page with query and returns what it reported; missing() says why when the
    // browser never showed it.
    QJsonObject open(const QString& query);

private:
    const TempTree& m_tree;
    QString m_page, m_chromium, m_port, m_missing;
    QProcess m_server;
};
