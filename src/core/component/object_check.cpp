// The object check: every object is drawn once off screen; those that cannot be drawn are
// written to a log and taken out of the map, so that one bad record cannot spoil every redraw.

#include "component/korvane.h"
#include "io/file_open.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <stdexcept>

namespace kestrum {

namespace {

std::string fixed12(float v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.12f", double{v});
    return buf;
}

std::string now() {
    const std::time_t t = std::time(nullptr);
    const std::tm tm = localTime(t);
    char buf[64];
    std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M:%S", &tm);
    return buf;
}

void checkFinite(float v, const char* what) {
    if (!std::isfinite(v)) throw std::runtime_error(std::string("invalid ") + what);
}

} // namespace

void TKorvane::StructuralCheck(const TQEVMapObjectMem& obj) {
    // Without a painter, what would make drawing fail: coordinates that are not numbers, and
    // data that does not match the kind.
    for (const TMapPoint& p : obj.points()) {
        checkFinite(p.X, "coordinate");
        checkFinite(p.Y, "coordinate");
    }
    checkFinite(obj.Pen.Width, "pen width");
    if (isPointKind(obj.Kind) && obj.points().size() != static_cast<std::size_t>(std::max(obj.DataCount, 0)))
        throw std::runtime_error("point count does not match the data");
    if (const TQEVMapText* t = obj.text()) {
        checkFinite(t->X, "text position"), checkFinite(t->Y, "text position");
        checkFinite(t->FontSize, "font size");
    }
    if (const TQEVMapZametka* z = obj.note()) checkFinite(z->X, "note position"), checkFinite(z->Y, "note position");
    if (const TQEVMapBitmap* b = obj.bitmap())
        for (const TMapPoint& p : b->Corners) checkFinite(p.X, "bitmap corner"), checkFinite(p.Y, "bitmap corner");
    if (const TQevMapList* kids = obj.children())
        for (const TQEVMapObjectMem& kid : *kids) StructuralCheck(kid);
}

void TKorvane::PaintForCheck(const TQEVMapObjectMem& obj) {
    // Values the drawing arithmetic cannot take fail here, as they would fail a real redraw.
    StructuralCheck(obj);
    TImage scratch(500, 500);
    TDrawObject& draw = m_renderer.Draw();
    TImage* saved = draw.Canvas();
    draw.SetCanvas(&scratch);
    try {
        DrawObject(obj, 0);
        if (obj.Pen.Flags & kPenBorder) DrawObject(obj, 1);
    } catch (...) {
        draw.SetCanvas(saved);
        throw;
    }
    draw.SetCanvas(saved);
}

int TKorvane::CheckObjects(const std::string& logPath) {
    std::ofstream log(pathFromUtf8(logPath), std::ios::binary | std::ios::trunc);
    const CheckPainter paint = CheckObjectPainter ? CheckObjectPainter
                                                  : CheckPainter([this](const TQEVMapObjectMem& o) { PaintForCheck(o); });
    const CodePage cp = m_list->codePage;
    std::string lastKind; // a kind beyond the known ones is logged under the previous name
    int removed = 0;
    for (int i = 0; i < m_list->objects.count();) {
        const TQEVMapObjectMem& obj = m_list->objects[i];
        try {
            paint(obj);
            ++i;
            continue;
        } catch (...) {
            // Whatever the painter throws, the object is logged and taken out.
        }
        std::string s;
        s += "ДАТА КОРРЕКЦИИ:" + now() + "\n";
        s += "========================\n";
        s += "порядковый # объекта:" + std::to_string(i) + "\n";
        s += "ID объекта:" + std::to_string(obj.ID) + "\n";
        s += "Размер информации о форме объекта:" + std::to_string(obj.DataCount) + "\n";
        s += std::string("Наличие адреса:") + (obj.HasAddress == 1 ? "TRUE" : "FALSE") + "\n";
        if (obj.HasAddress == 1) {
            const TAdres a = DecodeAddress(obj);
            s += "Town=\"" + toUtf8(cp, a.Town) + "\" Street=\"" + toUtf8(cp, a.Street) + "\" House=\"" +
                 toUtf8(cp, a.House) + "\"\n";
            s += "Street1=\"" + toUtf8(cp, a.Street1) + "\" House1=\"" + toUtf8(cp, a.House1) + "\"\n";
        }
        if (obj.Kind < kKindCount) lastKind = kindName(obj.Kind);
        s += "Тип объекта:" + lastKind + "\n";
        if (isPointKind(obj.Kind)) {
            s += "-> Координаты объекта <-\n";
            for (const TMapPoint& p : obj.points()) s += "X=" + fixed12(p.X) + " Y=" + fixed12(p.Y) + "\n";
        }
        s += "------------------------------\n\n\n";
        log << s;
        m_list->objects.Delete(i);
        ++removed;
    }
    if (removed) {
        m_ownDoc->header.ObjectCount = m_list->objects.count();
        Modified = true;
    }
    return removed;
}

} // namespace kestrum
