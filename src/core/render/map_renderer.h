#pragma once
// TMapRenderer: draws a map document into a back buffer through a drawing back end. It collects
// the visible objects plane by plane (through the objects' grid index), rebuilds the buffer whole
// or in strips, reuses it when the view scrolls, and draws each object by its kind.
//
// The map component owns one. The renderer reads the owner's state live (the document shown, the
// view, the options, the visible classes, the filter) through TRenderSource, its events and
// settings through TRenderEvents and TRenderSettings, and asks the owner for what lies above the
// render layer (note pictures, the editing tool) through TRenderClient.

#include "image/image.h"
#include "image/image_decoder.h"
#include "model/class_set.h"
#include "model/map_document.h"
#include "model/map_options.h"
#include "render/draw_object.h"
#include "render/render_events.h"
#include "render/spatial_index.h"
#include "view/view_transform.h"

#include <array>
#include <cstddef>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace kestrum {

// What the renderer needs of its owner beyond the state it reads.
class TRenderClient {
  public:
    virtual ~TRenderClient() = default;
    // The picture a note is drawn with (the owner's icon libraries, or its missing-icon bitmap);
    // it stays valid until the next call.
    virtual const TImage& NotePicture(const TQEVMapZametka& note, const TQEVMapPen* pen) = 0;
    // What a note without its block is drawn as.
    virtual const TImage& MissingPicture() const = 0;
    // The editing tool in force marks the vertices of lines and areas.
    virtual bool MarksVertices() const = 0;
};

// The owner's fields the renderer reads as it draws; the owner keeps them and changes them
// between frames, the renderer never writes them.
struct TRenderSource {
    MapDocument* const* document = nullptr; // the document shown (the owner's own or a linked one)
    const MapHeader* header = nullptr;      // the view's scale and window origin
    const double* scaleFactor = nullptr;    // pixels per world unit, as the owner last set it
    const int* width = nullptr;             // the control's client size in pixels
    const int* height = nullptr;
    const float* viewWidth = nullptr;       // the view's world size, as the owner last set it
    const float* viewHeight = nullptr;
    const tQevMapOptions* options = nullptr;
    const TClassSet* visibleClasses = nullptr;
    const bool* filter = nullptr;           // the class filter is on
    const bool* drawingEnabled = nullptr;   // false while the owner suspends drawing
};

class TMapRenderer {
  public:
    TMapRenderer(TRenderSettings& settings, const TRenderEvents& events, TRenderClient& client);
    TMapRenderer(const TMapRenderer&) = delete;
    TMapRenderer& operator=(const TMapRenderer&) = delete;
    // Before the first frame: the owner's state to read (its fields outlive the renderer).
    void Attach(const TRenderSource& source) { m_src = source; }

    // --- what is drawn with, and where ---------------------------------------------------------
    // The drawing back end; nullptr stands for a null one. The owner redraws its missing icon and
    // applies the options after a change.
    void SetDrawObject(std::unique_ptr<TDrawObject> draw);
    TDrawObject& Draw() { return *m_draw; }
    // Decoder of BMP pictures (the platform's); without one, BMP bitmaps draw nothing.
    void SetImageDecoder(const TImageDecoder* decoder) { m_imageDecoder = decoder; }
    TImage& BackBuffer() { return m_backBuffer; }
    const ViewTransform& View() const { return m_view; }
    // Takes the owner's view (and the document's code page) into the transform.
    void Sync();
    // The options changed: the back end's mode and text fields, the eye line of the 3D view from
    // `viewCentre`, the size of the largest house-number label.
    void OptionsChanged(TMapPoint viewCentre);
    // Decoded pictures are keyed by their objects' data: forget them when the objects go.
    void ForgetPictures() { m_pictures.clear(); }

    // --- the owner's view, as drawn ------------------------------------------------------------
    const MapDocument& Document() const { return **m_src.document; }
    const tQevMapOptions& Options() const { return *m_src.options; }
    double Scale() const { return m_src.header->Scale; }
    double ScaleFactor() const { return *m_src.scaleFactor; }
    float XWind() const { return m_src.header->XWind; }
    float YWind() const { return m_src.header->YWind; }
    float ViewWidth() const { return *m_src.viewWidth; }
    float ViewHeight() const { return *m_src.viewHeight; }
    int Width() const { return *m_src.width; }
    int Height() const { return *m_src.height; }
    bool In3DView() const { return Options().View3D() && Scale() >= Options().MinScale3D(); }

    // --- frames --------------------------------------------------------------------------------
    void RebuildBuffer();
    void RedrawRects(std::span<const TRect> rects);
    // The view moved by (sx, sy) pixels (the world to the right and down): the buffer is shifted
    // and only the uncovered strips are drawn.
    void ScrollBuffer(int sx, int sy);
    // Brings the back buffer up to the control's size and returns the picture to show (the back
    // buffer, or a copy that OnBeforePaint drew on).
    const TImage& PreparePaint();
    // The guide lines with their coordinates, on the window (its drawing state is put back).
    void PaintGuideLines(TDrawObject& window);
    // Every other blink tick draws the blinking objects inverted.
    void ToggleBlinkPhase() { m_blinkPhase = !m_blinkPhase; }

    void CollectVisible(const TMapRect& r, bool clearFirst);
    bool IsObjectVisible(const TQevMapList& list, int index) const;
    // With the filter on: the object's class is visible and OnFilteredObject leaves it visible.
    bool PassesFilter(const TQEVMapObjectMem& obj) const;
    // A polygon drawn extruded: the 3D view, and a height (after OnHeightObject) above zero.
    bool Extruded(const TQEVMapObjectMem& o) const;
    // An extruded object's sort key: the largest distance of its points from the eye line.
    double EyeDistance(const TQEVMapObjectMem& o) const;
    TRect ObjectScreenRect(const TQEVMapObjectMem& obj);
    // Buckets of the last collection (plane P at index 64 + P).
    const std::vector<int>& PlaneBucket(int plane) const { return m_planes[static_cast<std::size_t>(plane + 64)]; }
    const std::vector<int>& Plane3DBucket(int plane) const { return m_planes3D[static_cast<std::size_t>(plane + 64)]; }
    const TMapRect& ClipWindow() const { return m_clip; }

    // --- objects -------------------------------------------------------------------------------
    void DrawObject(const TQEVMapObjectMem& obj, int pass);

  private:
    struct BlinkStyle {
        TQEVMapPen pen;
        TQEVMapBrush brush;
    };
    // Decoded pictures of bitmap objects, so that redraws and pans do not decode again.
    struct DecodedPicture {
        const uint8_t* data = nullptr;
        std::size_t size = 0;
        int scale = 0;
        uint64_t print = 0;
        TImage image;
    };

    bool drawingEnabled() const { return *m_src.drawingEnabled; }
    void RecomputeEyeLine(TMapPoint centre);
    void DrawPlanes();
    void DrawCandidate(const TQEVMapObjectMem& obj, int index, int pass);
    void FillBackground(TRect rect);
    TMapRect CollectionRect(TMapRect r) const;

    const TQEVMapPen& PenOf(const TQEVMapObjectMem& obj) const { return m_blink ? m_blink->pen : obj.Pen; }
    const TQEVMapBrush& BrushOf(const TQEVMapObjectMem& obj) const { return m_blink ? m_blink->brush : obj.Brush; }
    BlinkStyle BlinkStyleOf(const TQEVMapObjectMem& obj) const;
    void DrawBlinking(const TQEVMapObjectMem& obj, int pass);
    void SetupPen(const TQEVMapObjectMem& obj, int extra);
    // A polygon's points into screen points, thinned; an area with holes ring by ring, with the
    // ring sizes in m_rings (empty for a plain polygon). Returns the number of points.
    std::size_t TransformArea(std::span<const TMapPoint> points, TPoint* out);
    // `rings` gives the vertex count of each ring of an area with holes, outer first; empty
    // for a plain polygon.
    void DrawPolygon3D(std::size_t count, int32_t heightPixels, TPoint* points, std::span<const uint32_t> rings = {});
    void DrawLine(const TQEVMapObjectMem& obj, std::size_t count, TPoint* points);
    void DrawGroup(const TQEVMapObjectMem& group, bool blinking);
    int32_t HouseNumberTextHeight() const;
    void DrawHouseNumber(const TQEVMapObjectMem& obj, float height);
    void DrawVertexMarks(std::size_t n, const TPoint* pts);
    void DrawPixelLine(const TQEVMapObjectMem& obj, std::size_t count, const TPoint* points);
    const TImage* decodedPicture(const TQEVMapBitmap& bitmap, double widthPixels);
    void DrawBitmapObject(const TQEVMapObjectMem& obj);

    TRenderSettings& m_settings;
    const TRenderEvents& m_events;
    TRenderClient& m_client;
    TRenderSource m_src;

    SpatialIndex m_index; // of the document's objects, for CollectVisible
    TImage m_backBuffer;
    std::unique_ptr<TDrawObject> m_draw; // after the buffer: its drawing threads end before the buffer goes
    TImage m_paintCopy;
    ViewTransform m_view;
    TMapRect m_clip;
    std::array<std::vector<int>, 129> m_planes;
    std::array<std::vector<int>, 129> m_planes3D;
    std::vector<TPoint> m_points; // working point buffer: slot 0 house-number anchor, objects from 1
    std::vector<uint32_t> m_rings; // vertex counts of the rings of the area being drawn
    std::vector<std::pair<int, double>> m_sortScratch;
    double m_eye[4] = {0, 0, 0, 1};
    const BlinkStyle* m_blink = nullptr; // pen and brush in force for a blinking object
    bool m_rebuildBusy = false;
    bool m_collectBusy = false;
    bool m_paintBusy = false;
    bool m_blinkPhase = false;
    TPoint m_largestLabel{};
    std::vector<DecodedPicture> m_pictures;
    const TImageDecoder* m_imageDecoder = nullptr;
    static constexpr std::size_t kPointBufferSize = 150002;
};

} // namespace kestrum
