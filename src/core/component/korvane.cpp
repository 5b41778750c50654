#include "component/korvane.h"

#include "io/byte_source.h"
#include "model/object_post.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kestrum {

namespace {

// Restores an option however the load ends.
class LockedOptionGuard {
  public:
    explicit LockedOptionGuard(tQevMapOptions& o) : m_options(o), m_saved(o.mpLocked()) { o.mpLocked(false); }
    ~LockedOptionGuard() { m_options.mpLocked(m_saved); }
    LockedOptionGuard(const LockedOptionGuard&) = delete;
    LockedOptionGuard& operator=(const LockedOptionGuard&) = delete;

  private:
    tQevMapOptions& m_options;
    bool m_saved;
};

TObjectKind kindOfTool(TInstrument tool) {
    switch (tool) {
    case iPolygon:
    case iRectangle:
        return cPolygon;
    case iLine:
        return cLine;
    case iPixel:
        return cPixel;
    case iBezier:
        return cBezier;
    case iBezierFill:
        return cBezierFill;
    case iEllipse:
        return cEllipse;
    case iText:
        return cText;
    case iBitmap:
        return cBitmap;
    case iZametka:
        return cZametka;
    default:
        return cPolygon;
    }
}

} // namespace

TKorvane::TKorvane()
    : m_renderer(*this, *this, *this), m_ownDoc(std::make_unique<MapDocument>()),
      m_list(m_ownDoc.get()) {
    m_renderer.Attach({&m_list, &m_ownDoc->header, &m_scaleFactor, &m_width, &m_height, &m_viewWidth, &m_viewHeight,
                       &Options, &ClassVisibleSet, &m_filter, &m_drawingEnabled});
    Options.OnChanged = [this] { OptionsChanged(); };
    Options.Active = true;
    m_ownDoc->header.Scale = 100.0;
    m_ownDoc->header.Date = currentDateStamp();
    m_list->objects.reserve(20000);
    ClassPickSet.set(0, false);
    CreateIcons();
    OptionsChanged();
}

TKorvane::~TKorvane() {
    ReleaseIcons();
    Options.OnChanged = nullptr;
    m_host = nullptr;
    while (!m_linked.empty()) m_linked.back()->MainKorvane(nullptr);
    MainKorvane(nullptr);
}

void TKorvane::MainKorvane(TKorvane* main) {
    if (main == this || main == m_main) return;
    if (m_main) {
        auto& peers = m_main->m_linked;
        peers.erase(std::remove(peers.begin(), peers.end(), this), peers.end());
    }
    if (main) {
        if (!m_main) m_ownExtent = m_ownDoc->extent;
        if (std::find(main->m_linked.begin(), main->m_linked.end(), this) == main->m_linked.end())
            main->m_linked.push_back(this);
        m_main = main;
        m_list = main->m_list;
        m_ownDoc->header = main->m_ownDoc->header;
        m_ownDoc->extent = main->m_ownDoc->extent;
        BufferStreet = main->BufferStreet;
    } else {
        m_main = nullptr;
        m_list = m_ownDoc.get();
        m_ownDoc->extent = m_ownExtent;
    }
    m_scaleFactor = Scale() * 0.01;
    NeedsFullRedraw = true;
    if (main) Propagate();
    Invalidate();
}

void TKorvane::Propagate() {
    if (m_propagating) return;
    m_propagating = true;
    std::vector<TKorvane*> peers = m_linked;
    if (m_main) peers.insert(peers.begin(), m_main);
    for (TKorvane* peer : peers) {
        if (peer->m_propagating) continue;
        peer->m_ownDoc->header = m_ownDoc->header;
        peer->m_ownDoc->extent = m_ownDoc->extent;
        peer->NeedsFullRedraw = true;
        if (m_bufferHolds && peer->CurrentIndex == CurrentIndex) {
            peer->CurrentObject = DeepCopy(CurrentObject);
            peer->m_bufferHolds = true;
            peer->BufferTown = BufferTown, peer->BufferStreet = BufferStreet, peer->BufferStreet1 = BufferStreet1;
            peer->BufferHouse = BufferHouse, peer->BufferHouse1 = BufferHouse1;
        }
        peer->m_scaleFactor = peer->Scale() * 0.01;
        peer->Invalidate();
        peer->Propagate();
    }
    m_propagating = false;
}

void TKorvane::OptionsChanged() {
    m_renderer.OptionsChanged(ViewCenter());
    NeedsFullRedraw = true;
    ViewCenter();
    Invalidate();
}

void TKorvane::SetDrawObject(std::unique_ptr<TDrawObject> draw) {
    m_renderer.SetDrawObject(std::move(draw));
    MakeMissingIcon();
    OptionsChanged();
}

void TKorvane::SyncView() { m_renderer.Sync(); }

void TKorvane::Invalidate() {
    SyncView();
    RebuildBuffer();
    if (m_host && m_drawingEnabled) m_host->Repaint();
}

void TKorvane::RecomputeExtent() { m_ownDoc->extent = kestrum::MapExtent(m_list->objects); }

void TKorvane::FileName(std::string_view name) { m_fileName = std::string(trimmed(name)); }

void TKorvane::Mashtab(int32_t value) {
    if (value == m_ownDoc->header.Mashtab) return;
    m_ownDoc->header.Mashtab = value;
    PrinterSettings.CustomMashtab(value);
}

void TKorvane::Filter(bool on) {
    m_filter = on;
    m_selected = false;
    NeedsFullRedraw = true;
    Invalidate();
}

void TKorvane::ClearUndo() {
    if (OnUndoAction) OnUndoAction(false);
    m_undoActive = false;
}

// --- view ----------------------------------------------------------------------------------------

TMapPoint TKorvane::ViewCenter() {
    const double scale = Scale();
    m_viewWidth = static_cast<float>(m_width * 100.0 / scale);
    m_viewHeight = static_cast<float>(m_height * 100.0 / scale);
    return {XWind() + m_viewWidth / 2, YWind() + m_viewHeight / 2};
}

double TKorvane::SaneScale(double value) {
    // A damaged header or a long run of wheel notches must not take the view where a float's
    // extent overflows: from there no zoom or pan comes back, and the picture stays blank.
    if (!(value > 0) || !std::isfinite(value)) return 100.0;
    return std::clamp(value, kMinScale, kMaxScale);
}

void TKorvane::SetScale(double value) {
    value = SaneScale(value);
    const TMapPoint centre = ViewCenter();
    m_ownDoc->header.Scale = value;
    if (OnChangeScale) OnChangeScale(*this);
    m_viewWidth = static_cast<float>(m_width * 100.0 / value);
    m_viewHeight = static_cast<float>(m_height * 100.0 / value);
    m_ownDoc->header.XWind = centre.X - m_viewWidth / 2;
    m_ownDoc->header.YWind = centre.Y - m_viewHeight / 2;
    m_scaleFactor = value * 0.01;
    NeedsFullRedraw = true;
    Invalidate();
}

void TKorvane::SetXWind(float x) {
    m_ownDoc->header.XWind = x;
    NeedsFullRedraw = true;
    Invalidate();
}

void TKorvane::SetYWind(float y) {
    m_ownDoc->header.YWind = y;
    NeedsFullRedraw = true;
    Invalidate();
}

void TKorvane::SetClientSize(int width, int height) {
    m_width = std::max(width, 0);
    m_height = std::max(height, 0);
}

void TKorvane::ZoomToRect(float x1, float y1, float x2, float y2) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    const float rawDx = std::fabs(x2 - x1), rawDy = std::fabs(y2 - y1);
    const float dx = rawDx == 0 ? 1.0f : rawDx;
    const float dy = rawDy == 0 ? 1.0f : rawDy;
    const float cx = x1 + rawDx / 2, cy = y1 + rawDy / 2;
    const double scale = Scale();
    m_ownDoc->header.XWind = static_cast<float>(cx - (m_width * 100.0 / scale) / 2);
    m_ownDoc->header.YWind = static_cast<float>(cy - (m_height * 100.0 / scale) / 2);
    const double sx = 100.0 / (double{dx} / m_width);
    const double sy = 100.0 / (double{dy} / m_height);
    double next = std::min(sx, sy);
    // A control without a size yet has no scale to fit: keep the one in force.
    if (!(next > 0) || !std::isfinite(next)) next = scale;
    SetScale(next);
}

// --- loading -------------------------------------------------------------------------------------

MapReadResult TKorvane::LoadFromStream(ByteSource& src, bool checkObjects, int32_t limit) {
    ClearUndo();
    LockedOptionGuard unlock(Options);
    if (OnBeforeLoad) OnBeforeLoad(*this);
    Clear();
    const bool indexWasOn = UseIndex;
    UseIndex = false;

    MapReadOptions opts;
    opts.limit = limit;
    opts.measurer = &Measurer();
    opts.fonts = Fonts();
    opts.progress = [this](int percent) {
        if (OnProgress) OnProgress(*this, percent);
    };
    opts.cancelled = [this] { return CancelRequested; };
    MapReadResult result = readMap(src, *m_list, opts);
    if (m_list != m_ownDoc.get()) m_ownDoc->header = m_list->header;
    // The view is taken from the header: a damaged one starts where a new map would. What the
    // file said is kept for those who report it.
    MapHeader& h = m_ownDoc->header;
    m_storedView = {h.Scale, h.XWind, h.YWind, true};
    h.Scale = SaneScale(h.Scale);
    if (!std::isfinite(h.XWind) || !std::isfinite(h.YWind)) h.XWind = h.YWind = 0;

    if (checkObjects) CheckObjects(CheckLogPath);
    RecomputeExtent();
    UseIndex = indexWasOn;
    m_selected = false;
    if (Options.mpAllMapAfterLoad())
        ZoomToMap();
    else
        SetScale(Scale());
    NeedsFullRedraw = true;
    Modified = false;
    if (OnAfterLoad) OnAfterLoad(*this);
    Propagate();
    PrinterSettings.CustomMashtab(Mashtab());
    return result;
}

MapReadResult TKorvane::LoadFromFile(const std::string& path, bool checkObjects, int32_t limit) {
    FileSource src(path);
    MapReadResult r = LoadFromStream(src, checkObjects, limit);
    FileName(path);
    return r;
}

void TKorvane::Clear() {
    m_list->objects.Clear();
    m_renderer.ForgetPictures(); // keyed by the freed objects' data
    m_storedView = {};
    ClearUndo();
    m_list->streets.clear();
    m_list->towns.clear();
    m_ownDoc->extent = {};
    m_ownDoc->header = MapHeader{};
    m_ownDoc->header.Scale = 100.0;
    m_bufferHolds = false;
    CurrentObject = TQEVMapObjectMem{};
    CurrentIndex = -1;
    m_selected = false;
    BlinkList.clear();
    SetScale(100.0);
    NeedsFullRedraw = true;
    Propagate();
}

void TKorvane::EndUpdate() {
    ViewCenter();
    for (TKorvane* peer : m_linked) peer->m_drawingEnabled = true;
    if (m_main) m_main->m_drawingEnabled = true;
    EnableDrawing();
    Propagate();
}

// --- dictionaries and blocks ---------------------------------------------------------------------

int32_t TKorvane::StreetCodeOf(std::string_view name) {
    PostTarget target = Postable();
    bool added = false;
    const int32_t code = streetCodeOf(target, name, added);
    if (added) Modified = true;
    return code;
}

int32_t TKorvane::TownCodeOf(std::string_view name) {
    PostTarget target = Postable();
    bool added = false;
    const int32_t code = townCodeOf(target, name, added);
    if (added) Modified = true;
    return code;
}

TQEVMapText TKorvane::DecodeText(const TQEVMapObjectMem& obj) {
    const TQEVMapText* t = obj.Kind == cText ? obj.text() : nullptr;
    return t ? *t : TQEVMapText{};
}

TQEVMapZametka TKorvane::DecodeNote(const TQEVMapObjectMem& obj) {
    const TQEVMapZametka* z = obj.Kind == cZametka ? obj.note() : nullptr;
    return z ? *z : TQEVMapZametka{};
}

void TKorvane::EncodeText(TQEVMapObjectMem& obj, const TQEVMapText& text) const {
    if (obj.Locked && Options.mpLocked()) return;
    encodeTextBlock(obj, text);
}

void TKorvane::EncodeNote(TQEVMapObjectMem& obj, const TQEVMapZametka& note) const {
    if (obj.Locked && Options.mpLocked()) return;
    encodeNoteBlock(obj, note);
}

void TKorvane::UpdateCorners(TQEVMapObjectMem& obj) const {
    // Only texts are measured (a group may hold some): the font names are built for them alone,
    // not for every object an importer posts.
    static const FontNames unused;
    updateCorners(obj, Measurer(), obj.Kind == cText || obj.Kind == cGroup ? Fonts() : unused);
}

// --- edit buffer ---------------------------------------------------------------------------------

void TKorvane::LoadBuffer(int index) {
    if (index < 0 || index >= m_list->objects.count()) return;
    CurrentObject = DeepCopy(m_list->objects[index]);
    CurrentIndex = index;
    const TAdres a = DecodeAddress(CurrentObject);
    BufferTown = a.Town;
    BufferStreet = a.Street;
    BufferStreet1 = a.Street1;
    BufferHouse = a.House;
    BufferHouse1 = a.House1;
    m_bufferHolds = true;
}

void TKorvane::NewObject() {
    CurrentObject = TQEVMapObjectMem{};
    CurrentObject.ID = m_ownDoc->header.NextID;
    CurrentObject.Pen = DefaultPen;
    CurrentObject.Brush = DefaultBrush;
    CurrentObject.Alpha = 255;
    CurrentObject.Kind = kindOfTool(m_instrument);
    BufferTown.clear();
    BufferStreet.clear();
    BufferStreet1.clear();
    BufferHouse.clear();
    BufferHouse1.clear();
    CurrentIndex = m_list->objects.count();
    m_bufferHolds = true;
    NeedsFullRedraw = true;
    if (OnAfterAppendObject) OnAfterAppendObject(*this);
}

TMapPoint TKorvane::GetPoint(int i) const {
    const auto pts = CurrentObject.points();
    if (i < 0 || static_cast<std::size_t>(i) >= pts.size()) return {0, 0};
    return pts[static_cast<std::size_t>(i)];
}

namespace {
// Points belong to point kinds only: writing them into a text, note, bitmap or group would
// destroy its block.
bool takesPoints(const TQEVMapObjectMem& o) { return isPointKind(o.Kind); }
} // namespace

void TKorvane::SetPoint(int i, float x, float y) {
    if (i < 0 || !takesPoints(CurrentObject) || (CurrentObject.Locked && Options.mpLocked())) return;
    if (!CurrentObject.pointArray()) CurrentObject.Data = PointArray{};
    PointArray& pts = *CurrentObject.pointArray();
    if (static_cast<std::size_t>(i) >= pts.size())
        pts.push_back({x, y});
    else
        pts[static_cast<std::size_t>(i)] = {x, y};
    CurrentObject.DataCount = static_cast<int32_t>(pts.size());
}

void TKorvane::InsertPoint(int i, float x, float y) {
    if (i < 0 || !takesPoints(CurrentObject) || (CurrentObject.Locked && Options.mpLocked())) return;
    if (!CurrentObject.pointArray()) CurrentObject.Data = PointArray{};
    PointArray& pts = *CurrentObject.pointArray();
    const std::size_t at = std::min(static_cast<std::size_t>(i), pts.size());
    pts.insert(pts.begin() + static_cast<std::ptrdiff_t>(at), TMapPoint{x, y});
    CurrentObject.DataCount = static_cast<int32_t>(pts.size());
}

void TKorvane::SetBitmapBlock(TQEVMapBitmap block) {
    if (CurrentObject.Kind != cBitmap || (CurrentObject.Locked && Options.mpLocked())) return;
    CurrentObject.setBitmap(std::move(block));
}

PostTarget TKorvane::Postable() {
    // A linked component shares objects and dictionaries, and keeps its own header and extent.
    return PostTarget(m_ownDoc->header, m_list->objects, m_list->streets, m_list->towns, m_ownDoc->extent);
}

bool TKorvane::PostBuffer(AfterPost after) {
    if (!m_bufferHolds) {
        if (OnErrorMessage) OnErrorMessage("Ошибка ! Нет объекта в буфере редактирования !");
        return false;
    }
    if (OnBeforePostObject) OnBeforePostObject(*this);
    if (isPostable(CurrentObject)) {
        AddressViews names;
        names.Town = BufferTown, names.Street = BufferStreet, names.House = BufferHouse;
        names.Street1 = BufferStreet1, names.House1 = BufferHouse1;
        // KeepCopy: the list gets the one copy made, the buffer stays as it is (with the Center an
        // append gives it). Release: the object moves, nothing is copied.
        const bool keep = after == AfterPost::KeepCopy;
        const PostOutcome done = postObject(Postable(), CurrentObject, names, CurrentIndex,
                                            keep ? PostCopy::Copy : PostCopy::Move,
                                            [this](TQEVMapObjectMem& o) { UpdateCorners(o); });
        CurrentIndex = done.index;
        if (!keep) {
            CurrentObject = TQEVMapObjectMem{};
            m_bufferHolds = false;
        }
        Modified = true;
        Propagate();
    }
    NeedsFullRedraw = true;
    if (OnAfterPostObject) OnAfterPostObject(*this);
    return true;
}

bool TKorvane::Delete(int index, bool recomputeExtent) {
    if (index < 0 || index >= m_list->objects.count()) return false;
    const TQEVMapObjectMem& target = m_list->objects[index];
    if (target.Locked && Options.mpLocked()) return false;
    TQEVMapObjectMem copy;
    if (OnBeforeDelete || OnAfterDelete) copy = DeepCopy(target);
    if (OnBeforeDelete) OnBeforeDelete(copy);
    m_list->objects.Delete(index);
    m_ownDoc->header.ObjectCount = m_list->objects.count();
    m_selected = false;
    if (recomputeExtent) RecomputeExtent();
    CurrentIndex = std::min(CurrentIndex, m_list->objects.count() - 1);
    m_bufferHolds = false;
    NeedsFullRedraw = true;
    Modified = true;
    if (OnAfterDelete) OnAfterDelete(copy);
    Propagate();
    return true;
}

} // namespace kestrum
