#pragma once
// The engine check: Phaser and PixiJS (fetched by make test) in Debian's headless Chromium, on pages of
// tests/engine served from a temporary folder over HTTP, as a game loads its assets.

#include "support/TempTree.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

// The frames Phaser's spritesheet parser cuts from each sheet ({width, height, frameWidth,
// frameHeight, margin, spacing}), each [x, y, w, h], run in Node.js; missing says why it cannot run.
QJsonArray phaserSlices(const QJsonArray& sheets, QString& missing);

class Engine {
public:
    // Serves tree's folder "game" (made here, with the page and the engines copied into it, each
    // as NAME.min.js: "phaser-3.90.0" as phaser.min.js).
    Engine(const TempTree& tree, const QString& page, const QStringList& engines = {QStringLiteral("phaser-3.90.0")});
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Why the engine cannot run here (no browser, no Node.js, Phaser not fetched); empty when it can.
    const QString& missing() const { return m_missing; }
    // Opens the page with query and returns what it reported; missing() says why when the
    // browser never showed it.
    QJsonObject open(const QString& query);

private:
    QJsonObject openOnce(const QString& query);

    const TempTree& m_tree;
    QString m_page, m_chromium, m_port, m_missing;
    QProcess m_server;
    int m_opened = 0;
};
