// Builds data/sample.map: a small made-up town with every kind of object, addresses in
// Windows-1251, groups and notes. Run after changing it: make_sample_map data/sample.map

#include "component/korvane.h"
#include "io/map_writer.h"
#include "model/codepage.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace kestrum;

namespace {

std::string cp(std::string_view utf8) { return fromUtf8(CodePage::Cp1251, utf8); }

constexpr int32_t rgb(int r, int g, int b) { return r | (g << 8) | (b << 16); }

struct Builder {
    TKorvane map;
    int32_t classCode = 1;

    void shape(TInstrument tool, const std::vector<TMapPoint>& pts, TQEVMapPen pen, TQEVMapBrush brush,
               int32_t plane, int32_t cls) {
        map.Instrument(tool);
        map.DefaultPen = pen;
        map.DefaultBrush = brush;
        map.NewObject();
        map.CurrentObject.Ploskost = plane;
        map.CurrentObject.ClassCode = cls;
        for (std::size_t i = 0; i < pts.size(); ++i) map.SetPoint(int(i), pts[i].X, pts[i].Y);
    }
    void post() { map.PostBuffer(TKorvane::AfterPost::Release); }

    void house(float x, float y, float w, float h, const char* street, const char* number, float height,
               const char* street1 = nullptr, const char* number1 = nullptr) {
        shape(iPolygon, {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}, {rgb(120, 90, 70), 0, 0.5f, kPenBorder},
              {rgb(222, 196, 170), 0}, 10, 100);
        map.CurrentObject.Height = height;
        map.BufferTown = cp("Кестрюм");
        map.BufferStreet = cp(street);
        map.BufferHouse = number;
        if (street1) map.BufferStreet1 = cp(street1), map.BufferHouse1 = number1;
        post();
    }
    void road(const std::vector<TMapPoint>& pts, float width, const char* name) {
        shape(iLine, pts, {rgb(150, 150, 150), 0, width, 0}, {0, 1}, 5, 200);
        if (name) map.BufferStreet = cp(name);
        post();
    }
    void text(float x, float y, int32_t angle, float size, const char* s, int32_t color) {
        map.Instrument(iText);
        map.DefaultPen = {color, 0, 0, 0};
        map.DefaultBrush = {0, 1};
        map.NewObject();
        map.CurrentObject.Ploskost = 20;
        map.CurrentObject.ClassCode = 300;
        map.CurrentObject.setText({x, y, angle, 0, size, cp(s)});
        post();
    }
    void note(float x, float y, const char* icon, const char* s) {
        map.Instrument(iZametka);
        map.NewObject();
        map.CurrentObject.Ploskost = 30;
        map.CurrentObject.ClassCode = 400;
        TQEVMapZametka z{x, y, {}, {}, cp(s)};
        z.LibName.assign("DEFAULT");
        z.IconName.assign(icon);
        map.CurrentObject.setNote(z);
        post();
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_map OUT.map\n");
        return 1;
    }
    Builder b;
    TKorvane& m = b.map;
    m.NameMap(cp("Кестрюм — образец карты"));
    m.CreatedBy("Kestrum sample generator");
    m.Mashtab(5000);
    m.Header().Signature.assign("Kestrum map");

    // Land and water first, on low planes.
    b.shape(iPolygon, {{0, 0}, {2000, 0}, {2000, 1400}, {0, 1400}}, {rgb(200, 200, 180), 5, 0, 0},
            {rgb(242, 239, 226), 0}, -20, 10);
    b.post();
    std::vector<TMapPoint> river;
    for (int i = 0; i <= 20; ++i) river.push_back({float(i * 100), float(1050 + 60 * std::sin(i * 0.6))});
    for (int i = 20; i >= 0; --i) river.push_back({float(i * 100), float(1150 + 60 * std::sin(i * 0.6 + 0.4))});
    b.shape(iPolygon, river, {rgb(90, 140, 200), 0, 1, 0}, {rgb(160, 200, 240), 0}, -10, 20);
    b.post();
    b.shape(iEllipse, {{1500, 150}, {1800, 150}, {1800, 350}, {1500, 350}}, {rgb(90, 140, 200), 0, 1, 0},
            {rgb(160, 200, 240), 0}, -10, 21);
    b.post();
    b.shape(iPolygon, {{1300, 500}, {1850, 500}, {1850, 900}, {1300, 900}}, {rgb(80, 150, 80), 0, 1, 0},
            {rgb(190, 230, 170), 4}, -5, 30);
    b.post();
    b.shape(iBezierFill, {{1400, 600}, {1500, 540}, {1700, 560}, {1750, 700}, {1700, 840}, {1500, 860}, {1400, 600}},
            {rgb(60, 120, 60), 0, 1, 0}, {rgb(120, 190, 110), 0}, -4, 31);
    b.post();

    // Streets.
    b.road({{50, 300}, {1950, 300}}, 16, "Лесная улица");
    b.road({{50, 700}, {1250, 700}}, 16, "Садовая улица");
    b.road({{400, 50}, {400, 1000}}, 14, "Речная улица");
    b.road({{900, 50}, {900, 1000}}, 14, "Центральная улица");
    b.road({{50, 980}, {600, 960}, {1200, 990}, {1950, 970}}, 10, "Набережная");
    b.shape(iBezier, {{1000, 800}, {1100, 760}, {1200, 880}, {1250, 820}}, {rgb(180, 120, 60), 2, 2, 0}, {0, 1}, 6, 210);
    b.post();
    b.shape(iLine, {{60, 1300}, {1940, 1300}}, {rgb(80, 80, 80), 0, 0, kPenPixelLine}, {0, 1}, 6, 220);
    b.post();
    b.shape(iPixel, {{600, 1250}, {650, 1255}, {700, 1250}, {750, 1255}}, {rgb(0, 0, 0), 0, 3, 0}, {0, 0}, 6, 230);
    b.post();

    // Houses along the streets.
    const char* numbers[] = {"1", "3", "5", "7", "9", "11", "13", "15"};
    for (int i = 0; i < 6; ++i) {
        const float x = 80 + float(i) * 50;
        b.house(x, 200, 40, 70, "Лесная улица", numbers[i], float(10 + 3 * i));
        b.house(x, 330, 40, 60, "Лесная улица", (std::to_string(2 * i + 2)).c_str(), 12);
        b.house(x + 850, 200, 40, 70, "Лесная улица", numbers[i + 2], 9);
    }
    for (int i = 0; i < 5; ++i) {
        b.house(440 + float(i) * 85, 600, 70, 70, "Садовая улица", numbers[i], 15);
        b.house(440 + float(i) * 85, 730, 70, 60, "Садовая улица", cp(std::to_string(2 * i + 2) + "а").c_str(), 6);
    }
    b.house(410, 320, 60, 60, "Речная улица", "2", 20, "Лесная улица", "20");
    b.house(920, 620, 120, 60, "Центральная улица", "10", 30);

    // A group: a school with its yard.
    {
        auto kids = std::make_unique<TQevMapList>();
        for (auto [pts, brush] : {std::pair{std::vector<TMapPoint>{{1000, 400}, {1150, 400}, {1150, 470}, {1000, 470}},
                                            rgb(240, 200, 160)},
                                  std::pair{std::vector<TMapPoint>{{1000, 480}, {1150, 480}, {1150, 560}, {1000, 560}},
                                            rgb(210, 230, 200)}}) {
            TQEVMapObjectMem kid;
            kid.Kind = cPolygon;
            kid.ID = m.Header().NextID++;
            kid.Pen = {rgb(100, 100, 100), 0, 1, 0};
            kid.Brush = {brush, 0};
            kid.Ploskost = 8;
            kid.ClassCode = 110;
            kid.setPoints(PointArray(pts.begin(), pts.end()));
            kids->Add(std::move(kid));
        }
        TQEVMapObjectMem group;
        group.Kind = cGroup;
        group.ID = m.Header().NextID++;
        group.Ploskost = 8;
        group.ClassCode = 110;
        group.setChildren(std::move(kids));
        m.UpdateCorners(group);
        ComputeCenter(group);
        m.Objects().Add(std::move(group));
    }

    b.text(100, 270, 0, 14, "Лесная улица", rgb(60, 60, 60));
    b.text(380, 900, 900, 12, "Речная улица", rgb(60, 60, 60));
    b.text(700, 1080, 50, 22, "река Кестра", rgb(40, 80, 160));
    b.text(1350, 520, 0, 18, "Парк", rgb(30, 90, 30));
    b.text(60, 60, 0, 40, "Кестрюм", rgb(0, 0, 0));
    b.note(1075, 435, "39", "Школа №1");
    b.note(960, 650, "61", "Почта\r\nс 9 до 18");
    b.note(1600, 250, "39", "Лодочная станция");

    m.Header().ObjectCount = m.Objects().count();
    m.RecomputeExtent();
    try {
        writeMapFile(argv[1], m.Document());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("%s: %d objects\n", argv[1], m.Objects().count());
    return 0;
}
