#include "import/document_sink.h"

namespace kestrum {

TDocumentSink::TDocumentSink(MapDocument& doc, const TextMeasurer* measurer, FontNames fonts)
    : m_doc(doc), m_measurer(measurer), m_fonts(std::move(fonts)) {}

const TextMeasurer& TDocumentSink::measurer() const {
    const TextMeasurer& m = m_measurer ? *m_measurer : defaultTextMeasurer();
    m.useCodePage(m_doc.codePage); // importers may switch the code page part way
    return m;
}

// As the component's edit buffer starts one: its default pen and brush, opaque, the next ID.
TQEVMapObjectMem& TDocumentSink::NewObject() {
    m_object = TQEVMapObjectMem{};
    m_object.ID = m_doc.header.NextID;
    m_object.Pen = TQEVMapPen{0, 0, 0, 0};
    m_object.Brush = TQEVMapBrush{0xFFFFFF, 0};
    m_object.Alpha = 255;
    m_object.Kind = cPolygon;
    m_names = TAdres{};
    return m_object;
}

bool TDocumentSink::Post() {
    if (!isPostable(m_object)) return false;
    postObject(PostTarget(m_doc), m_object, AddressViews(m_names), -1, PostCopy::Move,
               [this](TQEVMapObjectMem& o) { UpdateCorners(o); });
    m_object = TQEVMapObjectMem{};
    return true;
}

void TDocumentSink::UpdateCorners(TQEVMapObjectMem& obj) { updateCorners(obj, measurer(), m_fonts); }

} // namespace kestrum
