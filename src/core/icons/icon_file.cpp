#include "icons/icon_file.h"

#include "io/le.h"

#include <algorithm>
#include <cstring>

namespace kestrum {

namespace {

constexpr std::size_t kVersionAt = 71, kNameAt = 75, kReservedAt = 106, kCountAt = 177;
constexpr std::size_t kColorAt = 31, kFlagAt = 35, kSizeAt = 36;

// A length-prefixed text in a field of `capacity` characters; a length byte beyond the field is
// taken as the whole field.
std::string loadShort(const uint8_t* field, std::size_t capacity) {
    const std::size_t n = std::min<std::size_t>(field[0], capacity);
    return {reinterpret_cast<const char*>(field + 1), n};
}

void storeShort(uint8_t* field, std::size_t capacity, std::string_view text) {
    const std::size_t n = std::min(text.size(), capacity);
    field[0] = static_cast<uint8_t>(n);
    std::memcpy(field + 1, text.data(), n);
}

std::string quoted(const std::string& s) {
    return "\"" + s + "\"";
}

} // namespace

std::size_t IconSpanInput::read(void* dst, std::size_t n) {
    const std::size_t take = std::min(n, m_bytes.size() - m_pos);
    if (take) std::memcpy(dst, m_bytes.data() + m_pos, take);
    m_pos += take;
    return take;
}

IconLibraryHeader parseIconLibraryHeader(std::span<const uint8_t, kIconLibraryHeaderSize> b) {
    IconLibraryHeader h;
    h.banner = loadShort(b.data(), kIconBannerCapacity);
    h.version = le::load<int32_t>(b.data() + kVersionAt);
    h.name = loadShort(b.data() + kNameAt, kIconNameCapacity);
    std::copy_n(b.data() + kReservedAt, kIconReservedSize, h.reserved.begin());
    h.pictureCount = le::load<int32_t>(b.data() + kCountAt);
    return h;
}

IconPictureHeader parseIconPictureHeader(std::span<const uint8_t, kIconPictureHeaderSize> b) {
    IconPictureHeader h;
    h.name = loadShort(b.data(), kIconNameCapacity);
    h.transparentColor = le::load<int32_t>(b.data() + kColorAt);
    h.transparent = b[kFlagAt];
    h.dataSize = le::load<int32_t>(b.data() + kSizeAt);
    return h;
}

IconLibraryReadResult readIconLibrary(IconFileInput& in,
                                      const std::function<void(IconPicture&&)>& onPicture) {
    IconLibraryReadResult r;
    auto damage = [&](uint64_t offset, std::string message) {
        r.damage = IconFileDamage{offset, std::move(message)};
    };

    std::array<uint8_t, kIconLibraryHeaderSize> head{};
    const uint64_t start = in.position();
    const std::size_t got = in.read(head.data(), head.size());
    if (got < head.size()) {
        damage(start, "file ends inside the library header (" + std::to_string(got) + " of " +
                          std::to_string(kIconLibraryHeaderSize) + " bytes)");
        return r;
    }
    r.header = parseIconLibraryHeader(head);
    if (r.header->version != kIconLibraryVersion) return r;
    const int32_t count = r.header->pictureCount;
    if (count < 0) {
        damage(start + kCountAt, "picture count " + std::to_string(count) + " is negative");
        return r;
    }
    for (int32_t i = 0; i < count; ++i) {
        const uint64_t at = in.position();
        const std::string which = "picture number " + std::to_string(i) + " of " + std::to_string(count);
        if (in.remaining() == 0) {
            damage(at, "file ends after " + std::to_string(i) + " of " + std::to_string(count) + " pictures");
            return r;
        }
        std::array<uint8_t, kIconPictureHeaderSize> ph{};
        const std::size_t n = in.read(ph.data(), ph.size());
        if (n < ph.size()) {
            damage(at, "file ends inside the header of " + which + " (" + std::to_string(n) + " of " +
                           std::to_string(kIconPictureHeaderSize) + " bytes)");
            return r;
        }
        IconPicture picture{parseIconPictureHeader(ph), {}};
        const int32_t size = picture.header.dataSize;
        const std::string named = which + " (" + quoted(picture.header.name) + ")";
        if (size < 0) {
            damage(at + kSizeAt, named + ": data size " + std::to_string(size) + " is negative");
            return r;
        }
        // Checked before allocating: a lying size must not make us reserve memory for it.
        if (uint64_t(size) > in.remaining()) {
            damage(at + kSizeAt, named + ": data size " + std::to_string(size) + " but only " +
                                     std::to_string(in.remaining()) + " bytes remain");
            return r;
        }
        picture.data.resize(std::size_t(size));
        if (in.read(picture.data.data(), picture.data.size()) < picture.data.size()) {
            damage(at + kIconPictureHeaderSize, named + ": data could not be read");
            return r;
        }
        onPicture(std::move(picture));
        ++r.picturesRead;
    }
    return r;
}

IconLibraryFile readIconLibrary(std::span<const uint8_t> bytes) {
    IconLibraryFile f;
    IconSpanInput in(bytes);
    IconLibraryReadResult r =
        readIconLibrary(in, [&](IconPicture&& p) { f.pictures.push_back(std::move(p)); });
    f.header = std::move(r.header);
    f.damage = std::move(r.damage);
    f.bytesUsed = in.position();
    return f;
}

std::vector<uint8_t> writeIconLibrary(const IconLibraryHeader& header,
                                      std::span<const IconPicture> pictures) {
    std::size_t total = kIconLibraryHeaderSize;
    for (const IconPicture& p : pictures)
        total += kIconPictureHeaderSize + p.data.size();
    std::vector<uint8_t> out(total, 0);
    uint8_t* h = out.data();
    storeShort(h, kIconBannerCapacity, header.banner);
    le::store<int32_t>(h + kVersionAt, header.version);
    storeShort(h + kNameAt, kIconNameCapacity, header.name);
    std::copy(header.reserved.begin(), header.reserved.end(), h + kReservedAt);
    le::store<int32_t>(h + kCountAt, static_cast<int32_t>(pictures.size()));
    std::size_t at = kIconLibraryHeaderSize;
    for (const IconPicture& p : pictures) {
        uint8_t* ph = out.data() + at;
        storeShort(ph, kIconNameCapacity, p.header.name);
        le::store<int32_t>(ph + kColorAt, p.header.transparentColor);
        ph[kFlagAt] = p.header.transparent;
        le::store<int32_t>(ph + kSizeAt, static_cast<int32_t>(p.data.size()));
        if (!p.data.empty()) std::memcpy(ph + kIconPictureHeaderSize, p.data.data(), p.data.size());
        at += kIconPictureHeaderSize + p.data.size();
    }
    return out;
}

} // namespace kestrum
