#include "support/Engine.h"

#include <QJsonDocument>
#include <gtest/gtest.h>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <fstream>

QJsonArray phaserSlices(const QJsonArray& sheets, QString& missing) {
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    if (node.isEmpty() || !std::ifstream(QW_ENGINE_FETCHED "/phaser-3.90.0/src/textures/parsers/SpriteSheet.js")) {
        missing = QStringLiteral("Phaser's parser cannot run here: no node, or Phaser not fetched (scripts/fetch-engine)");
        return {};
    }
    QProcess slicer;
    slicer.start(node, {QStringLiteral(QW_ENGINE "/slice-spritesheet.js"), QStringLiteral(QW_ENGINE_FETCHED "/phaser-3.90.0")});
    slicer.write(QJsonDocument(sheets).toJson(QJsonDocument::Compact));
    slicer.closeWriteChannel();
    if (!slicer.waitForFinished(60000) || slicer.exitCode() != 0) {
        ADD_FAILURE() << "Phaser's parser failed: " << slicer.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(slicer.readAllStandardOutput()).array();
}

Engine::Engine(const TempTree& tree, const QString& page, const QStringList& engines) : m_tree(tree), m_page(page) {
    m_chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    QString unfetched;
    for (const QString& engine : engines)
        if (!std::ifstream(QStringLiteral(QW_ENGINE_FETCHED "/%1.min.js").arg(engine).toStdString())) unfetched += engine + " was not fetched (scripts/fetch-engine); ";
    if (m_chromium.isEmpty() || node.isEmpty() || !unfetched.isEmpty()) {
        m_missing = QStringLiteral("the engine cannot run here: %1%2%3")
                        .arg(m_chromium.isEmpty() ? "no chromium; " : "", node.isEmpty() ? "no node; " : "", unfetched);
        return;
    }
    tree.addFolder("game/assets");
    tree.addFolder("profile");
    tree.addFolder("tmp");
    for (const QString& engine : engines)
        tree.addFile("game/" + engine.section(QLatin1Char('-'), 0, 0).toStdString() + ".min.js",
                     readFile(QStringLiteral(QW_ENGINE_FETCHED "/%1.min.js").arg(engine).toStdString()));
    tree.addFile("game/" + page.toStdString(), readFile(std::string(QW_ENGINE) + "/" + page.toStdString()));
    m_server.start(node, {QStringLiteral(QW_ENGINE "/serve.mjs"), QString::fromStdString(tree.path("game"))});
    if (!m_server.waitForReadyRead(10000)) m_missing = QStringLiteral("the server did not start: ") + m_server.readAllStandardError();
    m_port = QString::fromLatin1(m_server.readLine()).trimmed();
}

Engine::~Engine() {
    m_server.kill();
    m_server.waitForFinished();
}

QJsonObject Engine::open(const QString& query) {
    // On a loaded machine headless Chromium's virtual time now and then runs out before a page has
    // loaded what it waits for (the page then never reports): such a page is opened once more.
    QJsonObject seen = openOnce(query);
    if (seen.value(QStringLiteral("error")).toString().startsWith(QStringLiteral("the page never reported"))) seen = openOnce(query);
    return seen;
}

QJsonObject Engine::openOnce(const QString& query) {
    if (!m_missing.isEmpty()) return {};
    // A profile of its own each time: a browser still letting go of the last one's never holds it up.
    const QString profile = QString::fromStdString(m_tree.path("profile")) + QStringLiteral("/%1").arg(++m_opened);
    QProcess browser;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), QString::fromStdString(m_tree.path("tmp")));  // nothing of the browser's left in /tmp
    browser.setProcessEnvironment(environment);
    browser.start(m_chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--disable-quic", "--no-first-run",
                               "--disable-sync", "--disable-background-networking", "--disable-component-update",
                               "--user-data-dir=" + profile, "--virtual-time-budget=20000", "--dump-dom",
                               "http://127.0.0.1:" + m_port + "/" + m_page + "?" + query});
    if (!browser.waitForFinished(90000)) browser.kill();
    const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
    const QString start = QStringLiteral("<pre id=\"result\">");
    if (!dom.contains(start)) {  // the page never came: the browser cannot run here
        m_missing = QStringLiteral("the browser did not show the page: ") + browser.readAllStandardError().right(400);
        return {};
    }
    const qsizetype at = dom.indexOf(start) + start.size();
    const QString result = dom.mid(at, dom.indexOf(QStringLiteral("</pre>")) - at);
    if (result == QStringLiteral("waiting"))
        return {{"error", QStringLiteral("the page never reported: ") + QString::fromUtf8(browser.readAllStandardError().right(600))}};
    return QJsonDocument::fromJson(QByteArray::fromBase64(result.toLatin1())).object();
}
