#pragma once
// Icon libraries in memory. Note objects name their picture by library name and picture name;
// TQevIcon holds an ordered set of libraries (TQevIconList) and hands out ready-to-draw bitmaps.
//
// Each library keeps the picture data as read (no file access while drawing) and a cache of the
// last 31 decoded bitmaps with use counts, so a map with many notes does not decode the same
// picture on every repaint. A bitmap handed out belongs to that cache: draw it at once and keep
// no pointer, since a later lookup may free it.

#include "icons/icon_file.h"
#include "image/image.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum {

class ByteSource;
class TQevIcon;

// One picture of a library: its name (trimmed, upper case), its transparent colour and flag
// and its data, a Windows bitmap file image.
struct TQevIconPicture {
    std::string Name;
    int32_t TransparentColor = 0;
    uint8_t Transparent = 0;
    std::vector<uint8_t> Data;
};

struct IconLoadResult {
    std::optional<IconFileDamage> damage; // empty when the library read cleanly
};

class TQevIconList {
  public:
    static constexpr std::size_t kCacheSize = 31;

    TQevIconList() = default;
    TQevIconList(const TQevIconList&) = delete;
    TQevIconList& operator=(const TQevIconList&) = delete;

    // Opens and reads a library file; a file that cannot be opened throws FileError. Damage is
    // reported in the result, with the pictures read before it kept.
    IconLoadResult LoadFromFile(const std::string& fileName);
    // Replaces everything by the library at the stream's position. A version other than 1
    // leaves the library empty, bearing the file's name.
    IconLoadResult LoadFromStream(ByteSource& src);

    // Appends a picture; its name is trimmed, upper-cased and cut to 30 characters.
    void AddPicture(const IconPictureHeader& header, std::vector<uint8_t> data);
    void Clear();
    void Delete(int index);

    int Count() const { return static_cast<int>(m_pictures.size()); }
    // Picture names in file order; index i is picture number i.
    const std::string& Strings(int index) const { return m_pictures[std::size_t(index)].Name; }
    const TQevIconPicture& Picture(int index) const { return m_pictures[std::size_t(index)]; }
    const IconLibraryHeader& Header() const { return m_header; }

    std::string NameLibrary() const { return m_header.name; }
    void NameLibrary(std::string_view name);

    // First picture whose name equals `name` regardless of case (no trimming), or -1.
    int IndexOfPicture(std::string_view name) const;
    // The picture decoded, from the cache when it is there; nullptr when there is no such
    // picture or its data is not a bitmap we can read.
    const TImage* GetBitmapByName(std::string_view name);
    const TImage* GetBitmapByIndex(int index);

    struct CacheEntry {
        int32_t Number = 0;
        std::string Name; // upper case
        std::unique_ptr<TImage> Bitmap;
        int32_t UseCount = 0;
    };
    std::span<const CacheEntry> Cache() const { return m_cache; }

  private:
    const TImage* decode(int index);
    void changed();

    IconLibraryHeader m_header;
    std::vector<TQevIconPicture> m_pictures;
    std::vector<CacheEntry> m_cache;
};

// What a component drawing from a TQevIcon is told. Thumbnail viewers rebuild their grid when
// libraries come and go; maps are not told and draw what the libraries hold at their next
// paint. Every client hears when the component is destroyed and must drop its reference.
class TQevIconClient {
  public:
    virtual void IconLibrariesChanged(TQevIcon&) {}
    virtual void IconComponentDestroyed(TQevIcon& icons) = 0;

  protected:
    ~TQevIconClient() = default;
};

class TQevIcon {
  public:
    TQevIcon() = default;
    // Detaches every client first, then frees the libraries.
    ~TQevIcon();
    TQevIcon(const TQevIcon&) = delete;
    TQevIcon& operator=(const TQevIcon&) = delete;

    // Appends an empty library with that name.
    TQevIconList& AddLibrary(std::string_view name);
    // Appends a library read from a file (named by the file's header). A file that cannot be
    // opened throws FileError and appends nothing; damage is reported, the library kept.
    IconLoadResult LoadLibrary(const std::string& fileName);
    void ClearLibraries();

    int LibraryCount() const { return static_cast<int>(m_libraries.size()); }
    TQevIconList& Library(int position) { return *m_libraries[std::size_t(position)]; }

    // Library names compare upper-cased, and the first library with an equal name wins.
    // GetBitmap trims both names and GetBitmapByIndex the library name; the other lookups take
    // their names as given.
    const TImage* GetBitmap(std::string_view libraryName, std::string_view pictureName);
    const TImage* GetBitmapByIndex(std::string_view libraryName, int number);
    int PictureCount(std::string_view libraryName) const;
    int IndexOfLibrary(std::string_view libraryName) const;
    std::string LibraryName(int position) const;
    std::string PictureName(std::string_view libraryName, int number) const;
    int IndexOfPicture(std::string_view libraryName, std::string_view pictureName) const;

    // Registers a client once; removing keeps the others in order.
    void AddClient(TQevIconClient* client);
    void RemoveClient(TQevIconClient* client);
    std::span<TQevIconClient* const> Clients() const { return m_clients; }

  private:
    TQevIconList* find(std::string_view libraryName) const;
    void notifyClients();

    std::vector<std::unique_ptr<TQevIconList>> m_libraries;
    std::vector<TQevIconClient*> m_clients;
};

} // namespace kestrum
