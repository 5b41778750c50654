// kestrum iconlib: builds icon library files from Windows bitmaps and lists their contents.

#include "commands.h"

#include "image/bmp_codec.h"
#include "icons/icon_file.h"
#include "io/byte_source.h"
#include "model/codepage.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kestrum::app {

namespace {

// Pads UTF-8 text to `columns` characters: Cyrillic names take two bytes a letter.
std::string padToColumns(std::string text, std::size_t columns) {
    std::size_t chars = 0;
    for (unsigned char c : text) chars += (c & 0xC0) != 0x80;
    if (chars < columns) text.append(columns - chars, ' ');
    return text;
}

constexpr const char* kHelp =
    R"(usage: kestrum iconlib pack OUT.lib --name NAME [--transparent KEY] FILE.bmp...
       kestrum iconlib list FILE.lib

Icon libraries hold the pictures that notes on a map name by library and picture
name; the viewer reads "icons.lib" beside itself.

  pack   writes a library of the given bitmaps, in the order given. Each picture is
         named after its file without the extension and stored as it is; it must be
         an uncompressed Windows bitmap. Names have at most 30 characters.
         --name NAME        the library's name (required)
         --transparent KEY  the colour left out when a picture is drawn:
                            auto    each picture's lower-left pixel (default)
                            none    pictures are drawn opaque
                            RRGGBB  this colour, hexadecimal red, green, blue
  list   prints the library's name and, for each picture, its number, name,
         size in pixels, depth, data size and transparent colour.

  -h, --help   show this help

Exit codes: 0 done, 1 usage error, or a file that cannot be read or is no
library, 2 damaged library or picture.
)";

int usageError(const std::string& message) {
    std::fprintf(stderr, "kestrum iconlib: %s\n", message.c_str());
    return kUsage;
}

// Names in library files are Windows-1251 text; command lines and file names are UTF-8.
std::optional<std::string> toCp1251(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        std::size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        if (len == 0 || i + len > utf8.size()) return std::nullopt;
        char32_t ch = len == 1 ? c : c & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k)
            ch = (ch << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        const std::optional<uint8_t> b = fromUnicode(CodePage::Cp1251, ch);
        if (!b) return std::nullopt;
        out += static_cast<char>(*b);
        i += len;
    }
    return out;
}

std::optional<std::string> libraryText(std::string_view utf8, const std::string& what) {
    const std::optional<std::string> s = toCp1251(utf8);
    if (!s) {
        usageError(what + " '" + std::string(utf8) + "' has characters Windows-1251 cannot hold");
        return std::nullopt;
    }
    if (s->empty() || s->size() > kIconNameCapacity) {
        usageError(what + " '" + std::string(utf8) + "' must have 1 to 30 characters");
        return std::nullopt;
    }
    return s;
}

struct KeyChoice {
    enum Mode { Auto, None, Fixed } mode = Auto;
    int32_t color = 0; // colour reference for Fixed
};

bool parseKey(std::string_view s, KeyChoice& key) {
    if (s == "auto") return key.mode = KeyChoice::Auto, true;
    if (s == "none") return key.mode = KeyChoice::None, true;
    if (!s.empty() && s[0] == '#') s.remove_prefix(1);
    uint32_t rgb = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), rgb, 16);
    if (s.size() != 6 || ec != std::errc() || end != s.data() + s.size()) return false;
    key = {KeyChoice::Fixed,
           static_cast<int32_t>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16))};
    return true;
}

std::string hexColor(int32_t ref) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02X%02X%02X", ref & 0xFF, (ref >> 8) & 0xFF, (ref >> 16) & 0xFF);
    return buf;
}

int pack(Args args) {
    std::string out, name;
    std::vector<std::string> files;
    KeyChoice key;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--name" || a == "--transparent") {
            if (i + 1 >= args.size()) return usageError(std::string(a) + " needs a value");
            const std::string_view v = args[++i];
            if (a == "--name")
                name = v;
            else if (!parseKey(v, key))
                return usageError("--transparent takes auto, none or RRGGBB, not '" + std::string(v) + "'");
        } else if (!a.empty() && a[0] == '-') {
            return usageError("unknown option '" + std::string(a) + "'");
        } else if (out.empty()) {
            out = a;
        } else {
            files.emplace_back(a);
        }
    }
    if (out.empty() || files.empty()) return usageError("pack needs an output file and at least one bitmap");
    if (name.empty()) return usageError("pack needs --name NAME");
    const std::optional<std::string> libName = libraryText(name, "library name");
    if (!libName) return kUsage;

    std::vector<IconPicture> pictures;
    std::set<std::string> seen;
    for (const std::string& file : files) {
        IconPicture pic;
        try {
            pic.data = readWholeFile(file);
        } catch (const FileError& e) {
            return usageError(e.what());
        }
        BmpImage img;
        std::string why;
        if (!decodeBmp(pic.data, img, why)) {
            std::fprintf(stderr, "kestrum iconlib: %s: %s\n", file.c_str(), why.c_str());
            return kDamaged;
        }
        const std::optional<std::string> picName =
            libraryText(std::filesystem::path(file).stem().string(), "picture name of " + file + ",");
        if (!picName) return kUsage;
        if (!seen.insert(toUpper(CodePage::Cp1251, *picName)).second)
            std::fprintf(stderr,
                         "kestrum iconlib: %s: a picture of that name comes earlier; by name only the first "
                         "is found\n",
                         file.c_str());
        pic.header.name = *picName;
        const uint32_t lowerLeft = img.at(0, img.height - 1);
        pic.header.transparentColor =
            key.mode == KeyChoice::Fixed
                ? key.color
                : static_cast<int32_t>(((lowerLeft >> 16) & 0xFF) | (lowerLeft & 0xFF00) |
                                       ((lowerLeft & 0xFF) << 16));
        pic.header.transparent = key.mode == KeyChoice::None ? 0 : 1;
        pictures.push_back(std::move(pic));
    }
    IconLibraryHeader header;
    header.name = *libName;
    const std::vector<uint8_t> bytes = writeIconLibrary(header, pictures);
    std::ofstream f(out, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f.flush()) return usageError(out + ": cannot write");
    std::printf("%s: library \"%s\", %s, %s\n", out.c_str(), name.c_str(),
                counted(static_cast<long long>(pictures.size()), "picture", "pictures").c_str(),
                counted(static_cast<long long>(bytes.size()), "byte", "bytes").c_str());
    return kOk;
}

class FileInput final : public IconFileInput {
  public:
    explicit FileInput(const std::string& path) : m_src(path) {}
    std::size_t read(void* dst, std::size_t n) override { return m_src.read(dst, n); }
    uint64_t remaining() const override { return m_src.remaining(); }
    uint64_t position() const override { return m_src.position(); }

  private:
    FileSource m_src;
};

int list(Args args) {
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return usageError("list takes one library file");
    const std::string path(args[0]);
    std::optional<FileInput> in;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return usageError(path + ": is a folder, not an icon library");
    try {
        in.emplace(path);
    } catch (const FileError& e) {
        return usageError(e.what());
    }
    std::vector<IconPicture> pictures;
    const IconLibraryReadResult r =
        readIconLibrary(*in, [&](IconPicture&& p) { pictures.push_back(std::move(p)); });
    // A file too short for the header, or with another version, holds no pictures this
    // program can read: that is no library rather than a damaged one.
    if (!r.header) {
        std::fprintf(stderr, "kestrum iconlib: %s: %s\n", path.c_str(),
                     in->position() == 0 ? "is empty, not an icon library"
                                         : "is not an icon library: too short for a library header");
        return kUsage;
    }
    const IconLibraryHeader& h = *r.header;
    if (h.version != kIconLibraryVersion) {
        std::fprintf(stderr, "kestrum iconlib: %s: is not an icon library: its header names version %d, not %d\n",
                     path.c_str(), h.version, kIconLibraryVersion);
        return kUsage;
    }
    std::printf("%s: library \"%s\", version %d, %s\n", path.c_str(), toUtf8(CodePage::Cp1251, h.name).c_str(),
                h.version, counted(h.pictureCount, "picture", "pictures").c_str());
    bool badPicture = false;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const IconPicture& p = pictures[i];
        std::printf("%4zu  %s", i, padToColumns("\"" + toUtf8(CodePage::Cp1251, p.header.name) + "\"", 32).c_str());
        BmpImage img;
        std::string why;
        if (decodeBmp(p.data, img, why))
            std::printf(" %3d x %-3d %2d bpp", img.width, img.height, img.bitsPerPixel);
        else
            std::printf(" not a readable bitmap (%s)", why.c_str()), badPicture = true;
        std::printf("  %7zu %-5s  %s %s (0x%08X)\n", p.data.size(), p.data.size() == 1 ? "byte" : "bytes", p.header.transparent ? "key" : "opaque",
                    hexColor(p.header.transparentColor).c_str(),
                    static_cast<unsigned>(p.header.transparentColor));
    }
    if (r.damage) {
        std::fprintf(stderr, "%s: damaged at byte %llu: %s\n", path.c_str(),
                     static_cast<unsigned long long>(r.damage->offset), r.damage->message.c_str());
        return kDamaged;
    }
    if (badPicture) {
        std::fprintf(stderr, "%s: some pictures cannot be drawn\n", path.c_str());
        return kDamaged;
    }
    return kOk;
}

} // namespace

int iconlibCommand(Args args) {
    for (const std::string_view a : args)
        if (a == "-h" || a == "--help") {
            std::fputs(kHelp, stdout);
            return kOk;
        }
    if (args.empty()) {
        std::fputs(kHelp, stderr);
        return kUsage;
    }
    if (args[0] == "pack") return pack(args.subspan(1));
    if (args[0] == "list") return list(args.subspan(1));
    std::fprintf(stderr, "kestrum iconlib: unknown action '%s'\n%s", std::string(args[0]).c_str(), kHelp);
    return kUsage;
}

} // namespace kestrum::app
