#pragma once
// Where importers put the objects they make. An importer sees only this: the document it fills
// (header, code page, dictionaries), one fresh object at a time with its address names, the
// post that stores it, the block encoders and text measuring, and progress and cancel as
// callbacks. The map component supplies a sink that runs its edit buffer (with its events,
// change mark and undo); TDocumentSink (document_sink.h) fills a bare document, for fuzzers
// and headless tools.

#include "model/map_document.h"

#include <functional>

namespace kestrum {

class TObjectSink {
  public:
    virtual ~TObjectSink() = default;

    // The document the objects go to; importers set its header and code page.
    virtual MapDocument& Document() = 0;
    // A fresh object to fill, appended by the next Post. Valid until then.
    virtual TQEVMapObjectMem& NewObject() = 0;
    // The address names of that object, empty for each NewObject; encoded into dictionary
    // codes by Post.
    virtual TAdres& AddressNames() = 0;
    // Appends the object, moving it (no copy). False when it was not stored: it had no data,
    // or it was a text without text.
    virtual bool Post() = 0;

    // The text or note block of an object of that kind; refused (no change) otherwise.
    virtual void EncodeText(TQEVMapObjectMem& obj, const TQEVMapText& text) = 0;
    virtual void EncodeNote(TQEVMapObjectMem& obj, const TQEVMapZametka& note) = 0;
    // The object's corners from its data, texts measured as the map will draw them.
    virtual void UpdateCorners(TQEVMapObjectMem& obj) = 0;

    // Share of the input read, in percent; unset is skipped.
    std::function<void(int percent)> progress;
    // Polled between objects; true stops the import, keeping what was posted.
    std::function<bool()> cancelled;

    void Progress(int percent) const {
        if (progress) progress(percent);
    }
    bool Cancelled() const { return cancelled && cancelled(); }
};

} // namespace kestrum
