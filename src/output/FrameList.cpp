#include "output/FrameList.h"

#include "toolkit/DriveAndDir.h"
#include "toolkit/Errors.h"

namespace output {
namespace {

// Strict UTF-8: shortest forms only, no surrogates, nothing past U+10FFFF.
bool isUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        int more = 0;
        uint32_t code = 0, least = 0;
        if (byte < 0x80) code = byte;
        else if ((byte & 0xE0) == 0xC0) more = 1, code = byte & 0x1F, least = 0x80;
        else if ((byte & 0xF0) == 0xE0) more = 2, code = byte & 0x0F, least = 0x800;
        else if ((byte & 0xF8) == 0xF0) more = 3, code = byte & 0x07, least = 0x10000;
        else return false;
        if (i + static_cast<size_t>(more) >= text.size()) return false;  // cut short
        for (int k = 1; k <= more; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += static_cast<size_t>(more) + 1;
    }
    return true;
}

// A JSON string: quotes, backslashes and control characters escaped, the rest as UTF-8 (U+2028
// and U+2029 escaped too, which some JavaScript takes for line ends).
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                static const char digits[] = "0123456789abcdef";
                out += "\\u00";
                out += digits[c >> 4];
                out += digits[c & 15];
            } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                       (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
                out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
                i += 2;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string size(int64_t width, int64_t height) {
    return "{\"w\": " + std::to_string(width) + ", \"h\": " + std::to_string(height) + "}";
}

}  // namespace

std::string frameName(const std::string& picture, const std::string& folder) {
    const std::string prefix = folder.empty() || folder.back() != '/' ? folder + "/" : folder;
    const std::string name = picture.compare(0, prefix.size(), prefix) == 0 ? picture.substr(prefix.size()) : picture;
    if (!isUtf8(name))
        throw tk::Error(tk::kInvalidPicture, QStringLiteral("A frame list cannot name %1: its name is not UTF-8, so a JSON "
                                                            "key cannot hold it faithfully. Rename the file, or leave out "
                                                            "--atlas.").arg(tk::displayPath(picture)));
    return name;
}

std::string frameListJson(const std::vector<Frame>& frames, int64_t sheetWidth, int64_t sheetHeight, const std::string& image,
                          bool alpha) {
    std::string json = "{\"frames\": {";
    for (size_t i = 0; i < frames.size(); ++i) {
        const Frame& f = frames[i];
        json += (i ? ",\n  " : "\n  ") + quoted(f.name) + ": {\"frame\": {\"x\": " + std::to_string(f.x) + ", \"y\": " +
                std::to_string(f.y) + ", \"w\": " + std::to_string(f.width) + ", \"h\": " + std::to_string(f.height) +
                "}, \"rotated\": false, \"trimmed\": false, \"spriteSourceSize\": {\"x\": 0, \"y\": 0, \"w\": " +
                std::to_string(f.width) + ", \"h\": " + std::to_string(f.height) + "}, \"sourceSize\": " +
                size(f.width, f.height) + "}";
    }
    json += "},\n \"meta\": {\"app\": \"Kestrune Quiltwright\", \"version\": \"1.02\", \"image\": " + quoted(image) +
            ", \"format\": \"" + std::string(alpha ? "RGBA8888" : "RGB888") + "\", \"size\": " + size(sheetWidth, sheetHeight) + ", \"scale\": \"1\"}}\n";
    return json;
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
