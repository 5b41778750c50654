#include "commands.h"
#include "map_loading.h"

#include "component/viewer_setup.h"
#include "io/byte_source.h"
#include "qt_map.h"
#include "qt_draw_object.h"
#include "qt_image_decoder.h"
#include "qt_text_measurer.h"

#include <QGuiApplication>
#include <QImage>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace kestrum::app {

namespace {

constexpr int kMaxSide = 16384;

constexpr const char* kHelp = R"(usage: kestrum render FILE -o OUT.png [options]

Renders a map to a picture without a display, as the viewer shows it: white
background, the viewer's options, the class filter on, the whole map fitted.

  -o, --output OUT         where to write the picture (required): PNG for .png,
                           JPEG (quality 90) for .jpg and .jpeg
  --size WxH               picture size in pixels, each side 1 to 16384
                           (default 1024x768)
  --aa                     anti-aliased drawing (default: plain, hard-edged pixels)
  --fit                    fit the whole map (the default)
  --view X,Y,SCALE         top-left world point and zoom in percent instead
                           (not with --fit)
  --background COLOR       background as #RRGGBB (default #FFFFFF)
  -h, --help               show this help

Exit codes: 0 done, 1 usage error, or a file that cannot be read or is no map,
2 the file is damaged (what could be read is rendered; the damage goes to
standard error).
)";

template <class T>
bool parseNumber(std::string_view s, T& out) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool parseSize(std::string_view s, int& w, int& h) {
    const auto x = s.find('x');
    if (x == std::string_view::npos) return false;
    return parseNumber(s.substr(0, x), w) && parseNumber(s.substr(x + 1), h) && w > 0 && h > 0 && w <= kMaxSide &&
           h <= kMaxSide;
}

bool parseView(std::string_view s, float& x, float& y, double& scale) {
    const auto a = s.find(','), b = s.rfind(',');
    if (a == std::string_view::npos || a == b) return false;
    return parseNumber(s.substr(0, a), x) && parseNumber(s.substr(a + 1, b - a - 1), y) &&
           parseNumber(s.substr(b + 1), scale) && scale > 0;
}

bool parseColor(std::string_view s, int32_t& ref) {
    if (!s.empty() && s[0] == '#') s.remove_prefix(1);
    unsigned rgb = 0;
    if (s.size() != 6 || std::from_chars(s.data(), s.data() + 6, rgb, 16).ptr != s.data() + 6) return false;
    ref = rgbColor(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
    return true;
}

// The picture's format by its extension, in any letter case; null for any other.
const char* pictureFormat(const std::string& out) {
    std::string ext = std::filesystem::path(out).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".png") return "PNG";
    if (ext == ".jpg" || ext == ".jpeg") return "JPEG";
    return nullptr;
}

} // namespace

int renderCommand(Args args) {
    std::string path, out;
    int width = 1024, height = 768;
    bool aa = false, haveView = false, haveFit = false;
    float vx = 0, vy = 0;
    double vscale = 100;
    int32_t background = 0xFFFFFF;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        auto value = [&](std::string_view& v) {
            if (i + 1 >= args.size()) return false;
            v = args[++i];
            return true;
        };
        std::string_view v;
        if (a == "-h" || a == "--help") {
            std::fputs(kHelp, stdout);
            return kOk;
        } else if (a == "-o" || a == "--output") {
            if (!value(v)) return std::fputs("kestrum render: -o needs a file name\n", stderr), kUsage;
            out = v;
        } else if (a == "--size") {
            if (!value(v) || !parseSize(v, width, height))
                return std::fprintf(stderr, "kestrum render: --size wants WxH with each side from 1 to %d, e.g. 1920x1080\n",
                                    kMaxSide),
                       kUsage;
        } else if (a == "--aa") {
            aa = true;
        } else if (a == "--fit") {
            haveFit = true;
        } else if (a == "--view") {
            if (!value(v) || !parseView(v, vx, vy, vscale))
                return std::fputs("kestrum render: --view wants X,Y,SCALE with SCALE > 0\n", stderr), kUsage;
            haveView = true;
        } else if (a == "--background") {
            if (!value(v) || !parseColor(v, background))
                return std::fputs("kestrum render: --background wants #RRGGBB\n", stderr), kUsage;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "kestrum render: unknown option '%s'\n%s", std::string(a).c_str(), kHelp);
            return kUsage;
        } else if (path.empty()) {
            path = a;
        } else {
            return std::fputs("kestrum render: one file at a time\n", stderr), kUsage;
        }
    }
    if (path.empty()) {
        std::fputs(kHelp, stderr);
        return kUsage;
    }
    if (out.empty())
        return std::fputs("kestrum render: -o OUT is missing: name the picture to write (.png, .jpg or .jpeg)\n", stderr),
               kUsage;
    if (haveFit && haveView)
        return std::fputs("kestrum render: --fit and --view each choose the view: give one of them\n", stderr), kUsage;
    const char* const format = pictureFormat(out);
    if (!format)
        return std::fprintf(stderr, "kestrum render: %s: the picture's name must end in .png, .jpg or .jpeg\n",
                            out.c_str()),
               kUsage;

    // Rendering needs fonts but no screen.
    QtMap qtMap;
    TKorvane& map = qtMap.map;
    map.SetClientSize(width, height);
    ApplyViewerSetup(map);
    ViewerHooks hooks;
    InstallViewerHooks(map, hooks);
    map.BackgroundColor = background;
    map.Options.UseGDIPlus(aa);
    map.Options.AntiAliasing(aa ? qevSmoothingModeAntiAlias : qevSmoothingModeNone);

    LoadOutcome outcome;
    try {
        outcome = loadAnyMap(map, path, LoadPurpose::View);
    } catch (const FileError& e) {
        std::fprintf(stderr, "kestrum render: %s\n", e.what());
        return kUsage;
    }
    if (haveView) {
        map.DisableDrawing();
        map.SetScale(vscale);
        map.SetXWind(vx);
        map.SetYWind(vy);
        map.EnableDrawing();
    }
    const TImage& img = map.PreparePaint();
    const QImage picture(reinterpret_cast<const uchar*>(img.data()), img.width(), img.height(), img.width() * 4,
                         QImage::Format_RGB32);
    if (!picture.save(QString::fromStdString(out), format, std::string_view(format) == "JPEG" ? 90 : -1)) {
        std::fprintf(stderr, "kestrum render: %s: cannot write the picture\n", out.c_str());
        return kUsage;
    }
    return reportOutcome(outcome);
}

} // namespace kestrum::app
