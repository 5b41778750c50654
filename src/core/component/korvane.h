#pragma once
// TKorvane: the map component. It owns one map document, loads it, keeps the view over it and
// the edit buffer through which importers and editing create and change objects. Drawing and
// input arrive through the platform layer; this class holds no toolkit state.

#include "model/map_options.h"
#include "icons/qev_icon.h"
#include "io/map_reader.h"
#include "model/class_set.h"
#include "model/map_document.h"
#include "render/draw_object.h"
#include "image/image_decoder.h"
#include "interact/hit_test.h"
#include "interact/input.h"
#include "interact/mouse.h"
#include "render/map_renderer.h"
#include "view/scroll_direction.h"
#include "view/view_transform.h"

#include <array>
#include <functional>
#include <span>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrum {

class ByteSource;
struct PostTarget;

using TNotifyEvent = std::function<void(class TKorvane& sender)>;


// What the component needs of the window system it lives in. The platform layer implements it;
// headless use needs none.
class TKorvaneHost {
  public:
    virtual ~TKorvaneHost() = default;
    // The back buffer changed: show it (now or at the next paint).
    virtual void Repaint() = 0;
    virtual void SetCursor(int /*cursor*/) {}
    // Call TKorvane::RepeatTick(kind) every `ms` milliseconds until StopRepeat.
    virtual void StartRepeat(TRepeat /*kind*/, int /*ms*/) {}
    virtual void StopRepeat(TRepeat /*kind*/) {}
    virtual void TakeFocus() {}
};

// Paints one object for the object check; throws when the object cannot be drawn.
using CheckPainter = std::function<void(const TQEVMapObjectMem& obj)>;

// Rendering is done by the component's TMapRenderer; its events and settings (OnPaintObject,
// BackgroundColor ...) are the component's own members through the bases.
class TKorvane : public TQevIconClient, public TRenderEvents, public TRenderSettings, private TRenderClient {
  public:
    TKorvane();
    ~TKorvane();
    TKorvane(const TKorvane&) = delete;
    TKorvane& operator=(const TKorvane&) = delete;

    // --- the document --------------------------------------------------------------------------
    // The document whose objects and dictionaries this component shows: its own, or its main
    // component's while linked. Header and extent are always the component's own copy.
    MapDocument& Document() { return *m_list; }
    const MapDocument& Document() const { return *m_list; }
    MapHeader& Header() { return m_ownDoc->header; }
    const MapHeader& Header() const { return m_ownDoc->header; }
    TQevMapList& Objects() { return m_list->objects; }
    const TQevMapList& Objects() const { return m_list->objects; }
    TMapDictionary& StreetDictionary() { return m_list->streets; }
    TMapDictionary& TownDictionary() { return m_list->towns; }
    const TMapRect& MapExtent() const { return m_ownDoc->extent; }
    void RecomputeExtent();

    // Loads a whole map (see the reader for what damage does). `limit` > 0 caps the top-level
    // objects of a version-14 file. Returns what the reader found; failures of the stream
    // itself (FileError) propagate.
    MapReadResult LoadFromStream(ByteSource& src, bool checkObjects = false, int32_t limit = 0);
    MapReadResult LoadFromFile(const std::string& path, bool checkObjects = false, int32_t limit = 0);
    void Clear();

    // --- object check ("errors.log") -------------------------------------------------------------
    // Tries to draw every object; those that fail are logged to `logPath` and deleted.
    // Returns how many objects were removed.
    int CheckObjects(const std::string& logPath = "errors.log");
    CheckPainter CheckObjectPainter; // unset: PaintForCheck
    std::string CheckLogPath = "errors.log"; // where a load with the check writes its log
    static void StructuralCheck(const TQEVMapObjectMem& obj);
    // Draws one object on a 500 x 500 scratch picture with the normal painter; throws when it
    // cannot be drawn.
    void PaintForCheck(const TQEVMapObjectMem& obj);

    // --- properties ----------------------------------------------------------------------------
    std::string FileName() const { return m_fileName; }
    void FileName(std::string_view name);
    std::string NameMap() const { return m_ownDoc->header.NameMap.str(); }
    void NameMap(std::string_view s) { m_ownDoc->header.NameMap.assign(s); }
    std::string CreatedBy() const { return m_ownDoc->header.CreatedBy.str(); }
    void CreatedBy(std::string_view s) { m_ownDoc->header.CreatedBy.assign(s); }
    int32_t Mashtab() const { return m_ownDoc->header.Mashtab; }
    void Mashtab(int32_t value);
    TInstrument Instrument() const { return m_instrument; }
    void Instrument(TInstrument tool);
    bool Filter() const { return m_filter; }
    void Filter(bool on);
    bool SelectedObject() const { return m_selected; }

    int32_t ScaleFind = 800;
    bool UseIndex = false;    // kept for callers; the grid index decides by itself (docs/ARCHITECTURE.md)
    int32_t IndexSize = 1000; // likewise
    int32_t TimerInterval = 750;
    int32_t BorderWidth = 0;
    int32_t Tag = 0; // free for the owner; the viewer shows street labels while it is 1

    tQevMapOptions Options;
    tQevMapPrinterSettings PrinterSettings;

    // --- view ----------------------------------------------------------------------------------
    double Scale() const { return m_ownDoc->header.Scale; }
    // Not finite or not positive becomes 100; the rest is held to [kMinScale, kMaxScale].
    void SetScale(double value);
    static constexpr double kMinScale = 1e-6, kMaxScale = 1e9;
    static double SaneScale(double value);
    // The view fields of the last map file loaded, as the file has them.
    struct StoredView {
        double Scale = 0;
        float XWind = 0, YWind = 0;
        bool loaded = false;
    };
    const StoredView& LastStoredView() const { return m_storedView; }
    double ScaleFactor() const { return m_scaleFactor; }
    float XWind() const { return m_ownDoc->header.XWind; }
    float YWind() const { return m_ownDoc->header.YWind; }
    void SetXWind(float x);
    void SetYWind(float y);
    float ViewWidth() const { return m_viewWidth; }
    float ViewHeight() const { return m_viewHeight; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    void SetClientSize(int width, int height);
    TMapPoint ViewCenter();
    void ZoomToRect(float x1, float y1, float x2, float y2);
    void ZoomToMap() { ZoomToRect(MapExtent().MinX, MapExtent().MinY, MapExtent().MaxX, MapExtent().MaxY); }

    // --- class sets ----------------------------------------------------------------------------
    TClassSet ClassVisibleSet{true};
    TClassSet ClassPickSet{true};
    void SetClassVisible(int32_t code, bool on) { ClassVisibleSet.set(code, on); }
    bool IsClassVisible(int32_t code) const { return ClassVisibleSet.contains(code); }
    void SetClassPickable(int32_t code, bool on) { ClassPickSet.set(code, on); }
    bool IsClassPickable(int32_t code) const { return ClassPickSet.contains(code); }
    void SetAllClassesVisible(bool on) { ClassVisibleSet.setAll(on); }

    // --- dictionaries --------------------------------------------------------------------------
    int32_t StreetCodeOf(std::string_view name);
    int32_t TownCodeOf(std::string_view name);
    std::string StreetName(int32_t code) const { return std::string(m_list->streets.name(code)); }
    std::string TownName(int32_t code) const { return std::string(m_list->towns.name(code)); }
    TAdres DecodeAddress(const TQEVMapObjectMem& obj) const { return m_list->DecodeAddress(obj); }

    // --- text and note blocks ------------------------------------------------------------------
    static TQEVMapText DecodeText(const TQEVMapObjectMem& obj);
    static TQEVMapZametka DecodeNote(const TQEVMapObjectMem& obj);
    // Refused (no change) for another kind, or for a locked object while mpLocked is on.
    void EncodeText(TQEVMapObjectMem& obj, const TQEVMapText& text) const;
    void EncodeNote(TQEVMapObjectMem& obj, const TQEVMapZametka& note) const;

    // --- edit buffer ---------------------------------------------------------------------------
    TQEVMapObjectMem CurrentObject;
    int CurrentIndex = -1;
    TQEVMapPen DefaultPen{0, 0, 0, 0};
    TQEVMapBrush DefaultBrush{0xFFFFFF, 0};
    // The buffer's address as names (encoded into codes on post).
    std::string BufferTown, BufferStreet, BufferStreet1;
    std::string BufferHouse, BufferHouse1;

    bool BufferHoldsObject() const { return m_bufferHolds; }
    void LoadBuffer(int index);
    void NewObject();
    TMapPoint GetPoint(int i) const;
    void SetPoint(int i, float x, float y);
    void InsertPoint(int i, float x, float y);
    const TQEVMapBitmap* GetBitmapBlock() const { return CurrentObject.bitmap(); }
    void SetBitmapBlock(TQEVMapBitmap block);
    // Writes the buffer back (or appends it); false with the error message when it holds nothing.
    enum class AfterPost { KeepCopy, Release };
    // Importers post with Release: the object moves into the list and the buffer empties.
    bool PostBuffer(AfterPost after = AfterPost::KeepCopy);
    bool Delete(int index, bool recomputeExtent = true);

    // --- linking components to one document ---------------------------------------------------
    // Shows `main`'s objects and dictionaries (nullptr: back to this component's own document).
    void MainKorvane(TKorvane* main);
    TKorvane* MainKorvane() const { return m_main; }
    const std::vector<TKorvane*>& LinkedKorvanes() const { return m_linked; }
    // Hands the shared state to the main component and to every linked one.
    void Propagate();

    // --- painting lock -------------------------------------------------------------------------
    void BeginUpdate() { DisableDrawing(); }
    void EndUpdate();
    bool PaintingEnabled() const { return m_drawingEnabled; }

    // --- text metrics --------------------------------------------------------------------------
    void SetTextMeasurer(const TextMeasurer* measurer) { m_measurer = measurer; }
    const TextMeasurer& Measurer() const {
        const TextMeasurer& m = m_measurer ? *m_measurer : defaultTextMeasurer();
        m.useCodePage(m_list->codePage); // a measurer may serve maps of several code pages
        return m;
    }
    FontNames Fonts() const { return {Options.FontSystem(), Options.FontSystem1()}; }
    void UpdateCorners(TQEVMapObjectMem& obj) const;

    // --- icons of notes ---------------------------------------------------------------------------
    // The attached icon component (registered as its client); nullptr: none, the map draws from
    // its built-in "Default" library.
    TQevIcon* QevMapIcon() const { return m_qevMapIcon; }
    void QevMapIcon(TQevIcon* icons);
    TQevIcon& IconSource() { return m_qevMapIcon ? *m_qevMapIcon : *m_builtinIcons; }
    TQevIcon& BuiltinIcons() { return *m_builtinIcons; }
    // The note's picture from the current source, or the missing-icon bitmap; draw it at once.
    // With the note's pen, a picture of the built-in "MapInfo" library comes in the pen's colour
    // and at the symbol size its width gives in points (the built-in library also answers for
    // an attached component that lacks it).
    const TImage& NoteBitmap(const TQEVMapZametka& note, const TQEVMapPen* pen = nullptr);
    // 32 x 32, red with a white and a black frame and "Error!".
    const TImage& MissingIconBitmap() const { return m_missingIcon; }
    void IconComponentDestroyed(TQevIcon& icons) override;
    void IconLibrariesChanged(TQevIcon& icons) override;

    // --- rendering (pipeline) -------------------------------------------------------------------
    // The renderer draws what the component shows; these members hand over to it.
    TMapRenderer& Renderer() { return m_renderer; }
    const TMapRenderer& Renderer() const { return m_renderer; }
    void SetHost(TKorvaneHost* host) { m_host = host; }
    // The drawing back end; the component starts with a null one.
    void SetDrawObject(std::unique_ptr<TDrawObject> draw);
    // Decoder of BMP pictures (the platform's); without one, BMP bitmaps draw their placeholder.
    void SetImageDecoder(const TImageDecoder* decoder) { m_renderer.SetImageDecoder(decoder); }
    TDrawObject& DrawObjectBackend() { return m_renderer.Draw(); }
    TImage& BackBuffer() { return m_renderer.BackBuffer(); }
    const ViewTransform& View() const { return m_renderer.View(); }

    void RebuildBuffer() { m_renderer.RebuildBuffer(); }
    void RedrawRects(std::span<const TRect> rects) { m_renderer.RedrawRects(rects); }
    void CollectVisible(const TMapRect& r, bool clearFirst) { m_renderer.CollectVisible(r, clearFirst); }
    bool IsObjectVisible(const TQevMapList& list, int index) const { return m_renderer.IsObjectVisible(list, index); }
    // With Filter on: the object's class is visible and OnFilteredObject leaves it visible.
    bool PassesFilter(const TQEVMapObjectMem& obj) const { return m_renderer.PassesFilter(obj); }
    void DisableDrawing();
    void EnableDrawing();
    bool DrawingEnabled() const { return m_drawingEnabled; }
    void ScrollView(TScrollDirection direction, int dx, int dy);
    void ZoomAt(float x, float y, double newScale);
    TRect ObjectScreenRect(const TQEVMapObjectMem& obj) { return m_renderer.ObjectScreenRect(obj); }
    // Window paint: brings the back buffer up to the control's size and returns the picture to
    // show (the back buffer, or a copy that OnBeforePaint drew on); then PaintOverlays draws on
    // the window itself.
    const TImage& PreparePaint() { return m_renderer.PreparePaint(); }
    void PaintOverlays(TDrawObject& window);
    // Timer tick of the blink timer (the host's timer calls it every TimerInterval ms).
    void BlinkTimerTick();

    // Object drawing.
    void DrawObject(const TQEVMapObjectMem& obj, int pass) { m_renderer.DrawObject(obj, pass); }

    // Buckets of the last collection (plane P at index 64 + P), for tests and the index.
    const std::vector<int>& PlaneBucket(int plane) const { return m_renderer.PlaneBucket(plane); }
    const std::vector<int>& Plane3DBucket(int plane) const { return m_renderer.Plane3DBucket(plane); }
    const TMapRect& ClipWindow() const { return m_renderer.ClipWindow(); }
    bool In3DView() const { return m_renderer.In3DView(); }

    // --- mouse and tools ------------------------------------------------------------------------
    // The mouse controller (interact/mouse.h) handles them; the component answers its questions.
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) { m_mouse.MouseDown(button, shift, x, y); }
    void MouseMove(TShiftState shift, int x, int y) { m_mouse.MouseMove(shift, x, y); }
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) { m_mouse.MouseUp(button, shift, x, y); }
    void DblClick() { m_mouse.DblClick(); }
    void MouseLeave() { m_mouse.MouseLeave(); }
    void RepeatTick(TRepeat kind) { m_mouse.RepeatTick(kind); }
    int Cursor() const { return m_mouse.Cursor(); }
    TPoint MouseClient() const { return m_mouse.MouseClient(); }
    TMapPoint MouseWorld() const { return m_mouse.MouseWorld(); }
    bool LensActive() const { return m_mouse.LensActive(); }
    bool MiddlePanActive() const { return m_mouse.MiddlePanActive(); }
    bool AutoScrollActive() const { return m_mouse.AutoScrollActive(); }
    // The scroll zone under a client point (a ScrollView direction), or -1.
    int ScrollZoneAt(int x, int y) const { return m_mouse.ScrollZoneAt(x, y); }

    // --- hit testing and addresses ---------------------------------------------------------------
    // Indices of the objects under a world point, the topmost last; fires OnAfterFind.
    std::vector<int> HitTest(TMapPoint p);
    bool HitObject(const TQEVMapObjectMem& obj, TMapPoint p) { return m_hitTester.HitObject(obj, p); }
    // The address (and note text) at a world point, walking the hits from the topmost down; the
    // edit buffer holds the last object looked at.
    TFoundAddress AddressAt(TMapPoint p);

    // --- events --------------------------------------------------------------------------------
    std::function<void(TKorvane&, int position)> OnProgress;
    TNotifyEvent OnBeforeLoad, OnAfterLoad, OnBeforeSave, OnAfterSave, OnAfterReadMIF;
    TNotifyEvent OnChangeScale, OnBeforeScroll, OnAfterScroll, OnChangeInstrument;
    TNotifyEvent OnBeforePostObject, OnAfterPostObject, OnAfterAppendObject;
    std::function<void(const TQEVMapObjectMem&)> OnBeforeDelete, OnAfterDelete;
    std::function<void(bool active)> OnUndoAction;
    std::function<void(TKorvane&, TMouseButton, TShiftState, int x, int y)> OnMouseDown, OnMouseUp;
    std::function<void(TKorvane&, TShiftState, int x, int y)> OnMouseMove;
    std::function<void(int& cursor, bool& active)> OnCursorChange;
    std::function<void(TKorvane&, bool value)> OnAfterFind, OnAfterLocate;
    TNotifyEvent OnMouseEnter, OnMouseLeave;
    // Message boxes go through the platform; unset, they are dropped.
    std::function<void(const std::string& text)> OnErrorMessage;

    // Polled by loading and importing; the viewer sets it from Esc in its progress window.
    bool CancelRequested = false;

    // Set for hosts: the map was changed. (The renderer's mark, NeedsFullRedraw, is a setting.)
    bool Modified = false;

  private:
    // What a post changes: the shared objects and dictionaries, this component's header and extent.
    PostTarget Postable();
    void ClearUndo();
    void OptionsChanged();
    void Invalidate();
    void SyncView();
    // What the renderer asks of the component.
    const TImage& NotePicture(const TQEVMapZametka& note, const TQEVMapPen* pen) override { return NoteBitmap(note, pen); }
    const TImage& MissingPicture() const override { return m_missingIcon; }
    bool MarksVertices() const override { return m_instrument == iLine || m_instrument == iPolygon; }
    double EyeDistance(const TQEVMapObjectMem& o) const { return m_renderer.EyeDistance(o); }


    // The component as its mouse controller and hit tester see it (component/korvane_input.cpp).
    class InputSite final : public TMouseSite, public THitScene {
      public:
        explicit InputSite(TKorvane& k) : m_k(k) {}
        const tQevMapOptions& MouseOptions() const override;
        TInstrument CurrentInstrument() const override;
        int ClientWidth() const override;
        int ClientHeight() const override;
        double ViewScale() const override;
        bool ThreeDView() const override;
        TMapPoint ClientToWorld(int x, int y) override;
        TMapPoint ViewCentre() override;
        TMapRect WorldExtent() const override;
        void Scroll(TScrollDirection direction, int dx, int dy) override;
        void ZoomAbout(TMapPoint centre, double scale) override;
        void ZoomToFrame(TMapPoint a, TMapPoint b) override;
        void RedrawAll() override;
        void MarkForRedraw() override;
        void Repaint() override;
        void ShowCursor(int cursor) override;
        void StartRepeat(TRepeat kind, int ms) override;
        void StopRepeat(TRepeat kind) override;
        void TakeFocus() override;
        void MouseDownEvent(TMouseButton button, TShiftState shift, int x, int y) override;
        void MouseMoveEvent(TShiftState shift, int x, int y) override;
        void MouseUpEvent(TMouseButton button, TShiftState shift, int x, int y) override;
        void MouseLeaveEvent() override;
        void CursorChangeEvent(int& cursor, bool& active) override;
        void BeforeScrollEvent() override;
        void AfterScrollEvent() override;

        const MapDocument& HitDocument() const override;
        const TClassSet& PickSet() const override;
        const tQevMapOptions& HitOptions() const override;
        double HitScale() const override;
        bool HitIn3D() const override;
        float DrawnHeight(const TQEVMapObjectMem& obj) override;
        const TImage& NotePicture(const TQEVMapObjectMem& note) override;
        bool PassesHitFilter(const TQEVMapObjectMem& obj) const override;
        double DrawnEyeDistance(const TQEVMapObjectMem& obj) const override;

      private:
        TKorvane& m_k;
    };
    InputSite m_inputSite{*this};
    TMouseController m_mouse{m_inputSite};
    THitTester m_hitTester{m_inputSite};

    StoredView m_storedView;

    void CreateIcons();
    void MakeMissingIcon();
    void ReleaseIcons();
    std::unique_ptr<TQevIcon> m_builtinIcons;
    TQevIcon* m_qevMapIcon = nullptr;
    TImage m_missingIcon;
    // Note pictures by library and picture name, as drawn: thousands of notes share a few dozen
    // pictures, more than the libraries' own caches hold. Empty images stand for missing ones.
    std::unordered_map<std::string, TImage> m_notePictures;
    std::string m_notePictureKey;

    TKorvaneHost* m_host = nullptr;
    TMapRenderer m_renderer;
    bool m_drawingEnabled = true;

    std::unique_ptr<MapDocument> m_ownDoc;
    MapDocument* m_list;
    TKorvane* m_main = nullptr;
    std::vector<TKorvane*> m_linked;
    TMapRect m_ownExtent;
    bool m_propagating = false;
    std::string m_fileName;
    TInstrument m_instrument = iPick;
    bool m_filter = false;
    bool m_selected = false;
    bool m_bufferHolds = false;
    bool m_undoActive = false;
    double m_scaleFactor = 0;
    float m_viewWidth = 0, m_viewHeight = 0;
    int m_width = 0, m_height = 0;
    const TextMeasurer* m_measurer = nullptr;
};

} // namespace kestrum
