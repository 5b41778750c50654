#pragma once
// Icon library files ("icons.lib" and the built-in library): a 181-byte header, then each
// picture as a 40-byte header followed at once by its data, a complete Windows bitmap file
// image. Integers are 32-bit little-endian; strings are a length byte and their characters in
// a fixed-width field. There is no trailer.
//
// The reader trusts no count or size: each picture's size is checked against the bytes still
// there before anything is allocated, and a file that ends early or lies yields the pictures
// read before the damage plus a diagnostic naming the byte offset.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum {

constexpr std::size_t kIconLibraryHeaderSize = 181;
constexpr std::size_t kIconPictureHeaderSize = 40;
constexpr std::size_t kIconBannerCapacity = 70;
constexpr std::size_t kIconNameCapacity = 30; // library and picture names
constexpr std::size_t kIconReservedSize = 71;
constexpr int32_t kIconLibraryVersion = 1;

// What our writer puts in the banner field (readers ignore it).
inline constexpr std::string_view kKestrumIconBanner = "Kestrum icon library";

struct IconLibraryHeader {
    std::string banner{kKestrumIconBanner};
    int32_t version = kIconLibraryVersion;
    std::string name;
    std::array<uint8_t, kIconReservedSize> reserved{};
    int32_t pictureCount = 0;
};

struct IconPictureHeader {
    std::string name;
    int32_t transparentColor = 0; // Windows colour reference, 0x00BBGGRR
    uint8_t transparent = 0;      // 1: the transparent colour is left out when drawing
    int32_t dataSize = 0;
};

struct IconPicture {
    IconPictureHeader header;
    std::vector<uint8_t> data; // the bitmap file image
};

struct IconFileDamage {
    uint64_t offset = 0; // where the damage was met
    std::string message;
};

// Bytes to read from: a file, a stream or a block of memory.
class IconFileInput {
  public:
    virtual ~IconFileInput() = default;
    // Copies up to n bytes; returns how many were there.
    virtual std::size_t read(void* dst, std::size_t n) = 0;
    virtual uint64_t remaining() const = 0;
    virtual uint64_t position() const = 0;
};

class IconSpanInput final : public IconFileInput {
  public:
    explicit IconSpanInput(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    std::size_t read(void* dst, std::size_t n) override;
    uint64_t remaining() const override { return m_bytes.size() - m_pos; }
    uint64_t position() const override { return m_pos; }

  private:
    std::span<const uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

IconLibraryHeader parseIconLibraryHeader(std::span<const uint8_t, kIconLibraryHeaderSize> bytes);
IconPictureHeader parseIconPictureHeader(std::span<const uint8_t, kIconPictureHeaderSize> bytes);

struct IconLibraryReadResult {
    // Empty when the input ends inside the header.
    std::optional<IconLibraryHeader> header;
    int picturesRead = 0;
    std::optional<IconFileDamage> damage; // the first damage met; empty when the file read cleanly
};

// Reads a library, handing each complete picture to `onPicture` in file order. A version other
// than 1 is not damage: the header is returned and no picture is read.
IconLibraryReadResult readIconLibrary(IconFileInput& in, const std::function<void(IconPicture&&)>& onPicture);

struct IconLibraryFile {
    std::optional<IconLibraryHeader> header;
    std::vector<IconPicture> pictures;
    std::optional<IconFileDamage> damage;
    uint64_t bytesUsed = 0; // where reading stopped; the whole input for a sound file
};
IconLibraryFile readIconLibrary(std::span<const uint8_t> bytes);

// A library file of `pictures`, in order. The header's picture count is ignored (the number of
// pictures is written); its version is written as given. Texts longer than their fields are cut.
std::vector<uint8_t> writeIconLibrary(const IconLibraryHeader& header, std::span<const IconPicture> pictures);

} // namespace kestrum
