#include "output/FrameList.h"

#include "toolkit/DriveAndDir.h"
#include "toolkit/Errors.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QStringDecoder>

namespace output {
namespace {

QJsonObject rect(int64_t x, int64_t y, int64_t width, int64_t height) {
    return {{"x", qint64(x)}, {"y", qint64(y)}, {"w", qint64(width)}, {"h", qint64(height)}};
}
QJsonObject size(int64_t width, int64_t height) { return {{"w", qint64(width)}, {"h", qint64(height)}}; }

QJsonObject gridObject(const GridNumbers& g) {
    return {{"frameWidth", qint64(g.frameWidth)}, {"frameHeight", qint64(g.frameHeight)}, {"margin", qint64(g.margin)},
            {"spacing", qint64(g.spacing)}, {"columns", qint64(g.columns)}, {"rows", qint64(g.rows)},
            {"frameCount", qint64(g.frameCount)}};
}

// A frame's name as the file system spells it, to the letter: a leading U+FEFF is a letter of the
// name, not a byte order mark.
QString nameOf(const std::string& name) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(name.data(), qsizetype(name.size())));
}

// The folder a frame's name lies in: "." for the top folder.
QString folderOf(const QString& name) {
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QStringLiteral(".") : name.left(slash);
}

}  // namespace

std::string frameName(const std::string& picture, const std::string& folder) {
    const std::string prefix = folder.empty() || folder.back() != '/' ? folder + "/" : folder;
    const std::string name = picture.compare(0, prefix.size(), prefix) == 0 ? picture.substr(prefix.size()) : picture;
    // Strict UTF-8: an invalid sequence, an encoded surrogate or an overlong form is an error.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString decoded = decoder.decode(QByteArrayView(name.data(), qsizetype(name.size())));
    if (decoder.hasError())
        throw tk::Error(tk::kInvalidPicture, QStringLiteral("A frame list cannot name %1: its name is not UTF-8, so a JSON "
                                                            "key cannot hold it faithfully. Rename the file, or leave out "
                                                            "--atlas.").arg(tk::displayPath(picture)));
    return name;
}

namespace {

QJsonObject frameObject(const Frame& f) {
    QJsonObject frame{{"frame", rect(f.x, f.y, f.width, f.height)}, {"rotated", false}, {"trimmed", false},
                      {"spriteSourceSize", rect(0, 0, f.width, f.height)}, {"sourceSize", size(f.width, f.height)}};
    // A dropped sprite is anchored where it stands.
    if (f.anchor) frame["anchor"] = QJsonObject{{"x", f.anchor->first}, {"y", f.anchor->second}};
    return frame;
}

}  // namespace

QByteArray frameListJson(const std::vector<Frame>& frames, int64_t sheetWidth, int64_t sheetHeight, const std::string& image,
                         bool alpha, const GridNumbers& grid, FrameListStyle style, const std::vector<std::string>& related) {
    QJsonObject hash;
    QJsonArray array;
    QMap<QString, QJsonArray> animations;
    for (const Frame& f : frames) {
        const QString name = nameOf(f.name);
        QJsonObject frame = frameObject(f);
        animations[folderOf(name)].append(name);
        if (style.array) {
            frame["filename"] = name;
            array.append(frame);
        } else {
            hash[name] = frame;
        }
    }
    QJsonObject animationObject;
    for (auto it = animations.cbegin(); it != animations.cend(); ++it) animationObject[it.key()] = it.value();
    QJsonObject meta{{"app", "Kestrune Quiltwright"}, {"version", "1.02"}, {"image", nameOf(image)},
                     {"format", alpha ? "RGBA8888" : "RGB888"}, {"size", size(sheetWidth, sheetHeight)}, {"scale", "1"},
                     {"grid", gridObject(grid)}};
    if (!related.empty()) {
        QJsonArray others;
        for (const std::string& list : related) others.append(nameOf(list));
        meta["related_multi_packs"] = others;
    }
    const QJsonObject root{{"frames", style.array ? QJsonValue(array) : QJsonValue(hash)}, {"animations", animationObject}, {"meta", meta}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray multiAtlasJson(const std::vector<TexturePage>& pages, const GridNumbers& grid) {
    QJsonArray textures;
    for (const TexturePage& page : pages) {
        QJsonArray frames;
        for (const Frame& f : page.frames) {
            QJsonObject frame = frameObject(f);
            frame["filename"] = nameOf(f.name);
            frames.append(frame);
        }
        textures.append(QJsonObject{{"image", nameOf(page.image)}, {"format", page.alpha ? "RGBA8888" : "RGB888"},
                                    {"size", size(page.width, page.height)}, {"scale", 1}, {"frames", frames}});
    }
    const QJsonObject meta{{"app", "Kestrune Quiltwright"}, {"version", "1.02"}, {"grid", gridObject(grid)}};
    return QJsonDocument(QJsonObject{{"textures", textures}, {"meta", meta}}).toJson(QJsonDocument::Indented);
}

QByteArray gridJson(const GridNumbers& grid, const std::vector<int64_t>& pageCounts) {
    QJsonObject object = gridObject(grid);
    if (pageCounts.size() > 1) {
        QJsonArray counts;
        for (const int64_t count : pageCounts) counts.append(qint64(count));
        object["pages"] = counts;
    }
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

std::string relativePath(const std::string& target, const std::string& from) {
    const std::string folder = tk::normalizeFolder(target.substr(0, target.rfind('/') + 1));
    const std::string name = target.substr(target.rfind('/') + 1);
    const std::string base = tk::normalizeFolder(from);
    // The folders both paths share, then ".." for each of base's past them.
    const auto parts = [](const std::string& path) {
        std::vector<std::string> out;
        for (size_t at = 1; at < path.size();) {
            const size_t end = std::min(path.find('/', at), path.size());
            out.push_back(path.substr(at, end - at));
            at = end + 1;
        }
        return out;
    };
    const std::vector<std::string> to = parts(folder), here = parts(base);
    size_t shared = 0;
    while (shared < to.size() && shared < here.size() && to[shared] == here[shared]) ++shared;
    std::string out;
    for (size_t i = shared; i < here.size(); ++i) out += "../";
    for (size_t i = shared; i < to.size(); ++i) out += to[i] + "/";
    return out + name;
}

}  // namespace output
