#pragma once
// An object sink over a bare document: what an import needs without a map component, for
// fuzzers, tools and tests. Posts as the component's edit buffer does (the same code, in
// model/object_post.h), without events, change marks or undo.

#include "import/object_sink.h"
#include "model/object_post.h"

namespace kestrum {

class TDocumentSink final : public TObjectSink {
  public:
    // Texts are measured with `measurer` (the core's approximation when none) in `fonts`.
    explicit TDocumentSink(MapDocument& doc, const TextMeasurer* measurer = nullptr,
                           FontNames fonts = {"Arial Cyr", "Times New Roman Cyr"});

    MapDocument& Document() override { return m_doc; }
    TQEVMapObjectMem& NewObject() override;
    TAdres& AddressNames() override { return m_names; }
    bool Post() override;
    void EncodeText(TQEVMapObjectMem& obj, const TQEVMapText& text) override { encodeTextBlock(obj, text); }
    void EncodeNote(TQEVMapObjectMem& obj, const TQEVMapZametka& note) override { encodeNoteBlock(obj, note); }
    void UpdateCorners(TQEVMapObjectMem& obj) override;

  private:
    const TextMeasurer& measurer() const;

    MapDocument& m_doc;
    const TextMeasurer* m_measurer;
    FontNames m_fonts;
    TQEVMapObjectMem m_object;
    TAdres m_names;
};

} // namespace kestrum
