#include "component/korvane_import.h"

namespace kestrum {

TKorvaneSink::TKorvaneSink(TKorvane& map) : m_map(map) {
    progress = [&map](int percent) {
        if (map.OnProgress) map.OnProgress(map, percent);
    };
    cancelled = [&map] { return map.CancelRequested; };
}

TQEVMapObjectMem& TKorvaneSink::NewObject() {
    m_map.NewObject();
    m_names = TAdres{};
    return m_map.CurrentObject;
}

bool TKorvaneSink::Post() {
    m_map.BufferTown = std::move(m_names.Town);
    m_map.BufferStreet = std::move(m_names.Street);
    m_map.BufferStreet1 = std::move(m_names.Street1);
    m_map.BufferHouse = std::move(m_names.House);
    m_map.BufferHouse1 = std::move(m_names.House1);
    const int before = m_map.Objects().count();
    m_map.PostBuffer(TKorvane::AfterPost::Release);
    return m_map.Objects().count() > before;
}

ImportResult ImportMIF(TKorvane& map, ByteSource& mif, ByteSource* mid, const std::string& mifName,
                       const std::string& midName, const MifImportOptions& options) {
    TKorvaneSink sink(map);
    return ImportMIF(sink, mif, mid, mifName, midName, options);
}

ImportResult ImportMIFFile(TKorvane& map, const std::filesystem::path& mifPath) {
    TKorvaneSink sink(map);
    return ImportMIFFile(sink, mifPath);
}

ImportResult ImportPolish(TKorvane& map, ByteSource& src, const StyleTable& styles, const std::string& fileName,
                          const PolishImportOptions& options) {
    TKorvaneSink sink(map);
    return ImportPolish(sink, src, styles, fileName, options);
}

ImportResult ImportPolishFile(TKorvane& map, const std::string& path, const StyleTable& styles,
                              const PolishImportOptions& options) {
    TKorvaneSink sink(map);
    return ImportPolishFile(sink, path, styles, options);
}

int polish::recodeMap(TKorvane& map, CodePage to) {
    TKorvaneSink sink(map);
    return recodeMap(sink, to);
}

} // namespace kestrum
