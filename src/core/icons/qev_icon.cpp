#include "icons/qev_icon.h"

#include "image/bmp_codec.h"
#include "io/byte_source.h"
#include "model/codepage.h"

#include <algorithm>

namespace kestrum {

namespace {

// Names are single-byte text of Russian Windows; upper case follows its code page.
std::string upper(std::string_view s) {
    return toUpper(CodePage::Cp1251, s);
}

class ByteSourceInput final : public IconFileInput {
  public:
    explicit ByteSourceInput(ByteSource& src) : m_src(src) {}
    std::size_t read(void* dst, std::size_t n) override { return m_src.read(dst, n); }
    uint64_t remaining() const override { return m_src.remaining(); }
    uint64_t position() const override { return m_src.position(); }

  private:
    ByteSource& m_src;
};

} // namespace

// --- TQevIconList ----------------------------------------------------------------------------

void TQevIconList::changed() {
    m_header.pictureCount = Count();
    m_cache.clear();
}

IconLoadResult TQevIconList::LoadFromFile(const std::string& fileName) {
    m_cache.clear();
    FileSource src(fileName);
    return LoadFromStream(src);
}

IconLoadResult TQevIconList::LoadFromStream(ByteSource& src) {
    m_pictures.clear();
    changed();
    ByteSourceInput in(src);
    IconLibraryReadResult r =
        readIconLibrary(in, [&](IconPicture&& p) { AddPicture(p.header, std::move(p.data)); });
    if (r.header) {
        // The header read replaces ours, but the count always tells what the list holds.
        m_header = std::move(*r.header);
        m_header.pictureCount = Count();
    }
    return {std::move(r.damage)};
}

void TQevIconList::AddPicture(const IconPictureHeader& header, std::vector<uint8_t> data) {
    std::string name = upper(trimmed(header.name));
    if (name.size() > kIconNameCapacity) name.resize(kIconNameCapacity);
    m_pictures.push_back({std::move(name), header.transparentColor, header.transparent, std::move(data)});
    changed();
}

void TQevIconList::Clear() {
    m_pictures.clear();
    changed();
}

void TQevIconList::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    m_pictures.erase(m_pictures.begin() + index);
    changed();
}

void TQevIconList::NameLibrary(std::string_view name) {
    m_header.name = std::string(name.substr(0, kIconNameCapacity));
    changed();
}

int TQevIconList::IndexOfPicture(std::string_view name) const {
    const std::string key = upper(name);
    for (int i = 0; i < Count(); ++i)
        if (m_pictures[std::size_t(i)].Name == key) return i;
    return -1;
}

const TImage* TQevIconList::GetBitmapByName(std::string_view name) {
    const std::string key = upper(name);
    for (CacheEntry& e : m_cache)
        if (e.Name == key) return ++e.UseCount, e.Bitmap.get();
    const int index = IndexOfPicture(name);
    return index < 0 ? nullptr : decode(index);
}

const TImage* TQevIconList::GetBitmapByIndex(int index) {
    for (CacheEntry& e : m_cache)
        if (e.Number == index) return ++e.UseCount, e.Bitmap.get();
    return index < 0 || index >= Count() ? nullptr : decode(index);
}

const TImage* TQevIconList::decode(int index) {
    const TQevIconPicture& p = m_pictures[std::size_t(index)];
    BmpImage work;
    // Data that is not a readable bitmap answers as a missing picture: the map then shows its
    // missing-icon mark instead of failing the whole paint.
    if (!decodeBmp(p.Data, work)) return nullptr;

    CacheEntry* slot = nullptr;
    if (m_cache.size() < kCacheSize) {
        slot = &m_cache.emplace_back();
    } else {
        // The least used entry makes room; on ties the first one, counting from entry 0.
        slot =
            &*std::min_element(m_cache.begin(), m_cache.end(), [](const CacheEntry& a, const CacheEntry& b) {
                return a.UseCount < b.UseCount;
            });
    }
    slot->Number = index;
    slot->Name = p.Name;
    slot->UseCount = 0;
    // A new bitmap, never the old one reused: a stale pointer to it then fails loudly under the
    // sanitizers instead of silently showing another picture. Decoded pixels are opaque, so the
    // copy is the picture itself; the record's colour key rides along for the drawing.
    slot->Bitmap = std::make_unique<TImage>(work.width, work.height);
    std::copy(work.pixels.begin(), work.pixels.end(), slot->Bitmap->data());
    slot->Bitmap->TransparentColor = p.TransparentColor;
    slot->Bitmap->Transparent = p.Transparent != 0;
    return slot->Bitmap.get();
}

// --- TQevIcon --------------------------------------------------------------------------------

TQevIcon::~TQevIcon() {
    // A client answering by calling RemoveClient must not disturb the walk.
    const std::vector<TQevIconClient*> clients = std::move(m_clients);
    m_clients.clear();
    for (TQevIconClient* c : clients)
        c->IconComponentDestroyed(*this);
}

TQevIconList& TQevIcon::AddLibrary(std::string_view name) {
    auto& lib = *m_libraries.emplace_back(std::make_unique<TQevIconList>());
    lib.NameLibrary(name);
    notifyClients();
    return lib;
}

IconLoadResult TQevIcon::LoadLibrary(const std::string& fileName) {
    FileSource src(fileName);
    auto& lib = *m_libraries.emplace_back(std::make_unique<TQevIconList>());
    IconLoadResult r = lib.LoadFromStream(src);
    notifyClients();
    return r;
}

void TQevIcon::ClearLibraries() {
    m_libraries.clear();
    notifyClients();
}

void TQevIcon::notifyClients() {
    const std::vector<TQevIconClient*> clients = m_clients;
    for (TQevIconClient* c : clients)
        c->IconLibrariesChanged(*this);
}

TQevIconList* TQevIcon::find(std::string_view libraryName) const {
    const std::string key = upper(libraryName);
    for (const auto& lib : m_libraries)
        if (upper(lib->NameLibrary()) == key) return lib.get();
    return nullptr;
}

const TImage* TQevIcon::GetBitmap(std::string_view libraryName, std::string_view pictureName) {
    TQevIconList* lib = find(trimmed(libraryName));
    return lib ? lib->GetBitmapByName(trimmed(pictureName)) : nullptr;
}

const TImage* TQevIcon::GetBitmapByIndex(std::string_view libraryName, int number) {
    TQevIconList* lib = find(trimmed(libraryName));
    return lib ? lib->GetBitmapByIndex(number) : nullptr;
}

int TQevIcon::PictureCount(std::string_view libraryName) const {
    const TQevIconList* lib = find(libraryName);
    return lib ? lib->Count() : 0;
}

int TQevIcon::IndexOfLibrary(std::string_view libraryName) const {
    const std::string key = upper(libraryName);
    for (std::size_t i = 0; i < m_libraries.size(); ++i)
        if (upper(m_libraries[i]->NameLibrary()) == key) return static_cast<int>(i);
    return -1;
}

std::string TQevIcon::LibraryName(int position) const {
    return position >= 0 && position < LibraryCount() ? m_libraries[std::size_t(position)]->NameLibrary()
                                                      : std::string();
}

std::string TQevIcon::PictureName(std::string_view libraryName, int number) const {
    const TQevIconList* lib = find(libraryName);
    return lib && number >= 0 && number < lib->Count() ? lib->Strings(number) : std::string();
}

int TQevIcon::IndexOfPicture(std::string_view libraryName, std::string_view pictureName) const {
    const TQevIconList* lib = find(libraryName);
    return lib ? lib->IndexOfPicture(pictureName) : -1;
}

void TQevIcon::AddClient(TQevIconClient* client) {
    if (client && std::find(m_clients.begin(), m_clients.end(), client) == m_clients.end())
        m_clients.push_back(client);
}

void TQevIcon::RemoveClient(TQevIconClient* client) {
    m_clients.erase(std::remove(m_clients.begin(), m_clients.end(), client), m_clients.end());
}

} // namespace kestrum
