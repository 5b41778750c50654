#pragma once
// Imports into a map component: the component's object sink (its edit buffer, with the events,
// change mark and undo a post has there) and the entry points callers use with a component.
// The importers themselves know only the sink (import/object_sink.h).

#include "component/korvane.h"
#include "import/mif_import.h"
#include "import/object_sink.h"
#include "import/polish_import.h"
#include "import/polish_text.h"

#include <filesystem>
#include <string>

namespace kestrum {

// Posts through the component's edit buffer (PostBuffer with Release: the object moves into
// the list), fires OnProgress and polls CancelRequested.
class TKorvaneSink final : public TObjectSink {
  public:
    explicit TKorvaneSink(TKorvane& map);

    MapDocument& Document() override { return m_map.Document(); }
    TQEVMapObjectMem& NewObject() override;
    TAdres& AddressNames() override { return m_names; }
    bool Post() override;
    void EncodeText(TQEVMapObjectMem& obj, const TQEVMapText& text) override { m_map.EncodeText(obj, text); }
    void EncodeNote(TQEVMapObjectMem& obj, const TQEVMapZametka& note) override { m_map.EncodeNote(obj, note); }
    void UpdateCorners(TQEVMapObjectMem& obj) override { m_map.UpdateCorners(obj); }

  private:
    TKorvane& m_map;
    TAdres m_names;
};

// The importers' entry points for a component (see import/mif_import.h, polish_import.h).
ImportResult ImportMIF(TKorvane& map, ByteSource& mif, ByteSource* mid, const std::string& mifName,
                       const std::string& midName = {}, const MifImportOptions& options = {});
ImportResult ImportMIFFile(TKorvane& map, const std::filesystem::path& mifPath);
ImportResult ImportPolish(TKorvane& map, ByteSource& src, const StyleTable& styles, const std::string& fileName,
                          const PolishImportOptions& options = {});
ImportResult ImportPolishFile(TKorvane& map, const std::string& path, const StyleTable& styles,
                              const PolishImportOptions& options = {});

namespace polish {
int recodeMap(TKorvane& map, CodePage to);
}

} // namespace kestrum
