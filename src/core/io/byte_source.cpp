#include "io/byte_source.h"

#include "io/file_open.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace kestrum {

std::size_t MemorySource::read(void* dst, std::size_t n) {
    // An empty block may come with a null destination (an empty point array), which memcpy forbids.
    if (n == 0 || m_pos >= m_bytes.size()) return 0;
    const std::size_t take = static_cast<std::size_t>(std::min<uint64_t>(n, m_bytes.size() - m_pos));
    std::memcpy(dst, m_bytes.data() + m_pos, take);
    m_pos += take;
    return take;
}

namespace {
constexpr std::size_t kBufferSize = 1 << 20;
} // namespace

FileSource::FileSource(const std::string& path) : m_path(path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path name = pathFromUtf8(path);
    const fs::file_status st = fs::status(name, ec);
    if (ec || !fs::exists(st)) throw FileError(path + ": cannot open: no such file");
    if (fs::is_directory(st)) throw FileError(path + ": cannot read: is a directory");
    if (!fs::is_regular_file(st)) throw FileError(path + ": cannot read: not a regular file");
    m_file = openFile(path, "rb");
    if (!m_file) throw FileError(path + ": cannot open: " + std::strerror(errno));
    std::setvbuf(m_file, nullptr, _IONBF, 0); // we buffer ourselves
    m_size = fs::file_size(name, ec);
    if (ec) {
        std::fclose(m_file);
        throw FileError(path + ": cannot read its size: " + ec.message());
    }
    m_buf.resize(kBufferSize);
}

FileSource::~FileSource() {
    if (m_file) std::fclose(m_file);
}

namespace {

std::size_t readAt(std::FILE* f, uint64_t& filePos, uint64_t at, uint8_t* dst, std::size_t n,
                   const std::string& path) {
    if (filePos != at) {
        if (!seekFile(f, at))
            throw FileError(path + ": cannot seek to byte " + std::to_string(at));
        filePos = at;
    }
    const std::size_t got = std::fread(dst, 1, n, f);
    if (got < n && std::ferror(f)) throw FileError(path + ": read error at byte " + std::to_string(at + got));
    filePos += got;
    return got;
}

} // namespace

std::size_t FileSource::fill() {
    m_bufStart += m_bufLen;
    m_bufPos = 0;
    m_bufLen = readAt(m_file, m_filePos, m_bufStart, m_buf.data(), m_buf.size(), m_path);
    return m_bufLen;
}

std::size_t FileSource::read(void* dst, std::size_t n) {
    auto* out = static_cast<uint8_t*>(dst);
    std::size_t done = 0;
    while (done < n) {
        if (m_bufPos == m_bufLen) {
            const std::size_t want = n - done;
            // Large blocks skip the buffer: point arrays, and the text importers' blocks, which
            // ask for nearly a buffer's worth each time and would otherwise be copied twice.
            if (want >= m_buf.size() / 2) {
                const uint64_t at = position();
                const std::size_t got = readAt(m_file, m_filePos, at, out + done, want, m_path);
                done += got;
                m_bufStart = at + got;
                m_bufPos = m_bufLen = 0;
                if (got < want) break;
                continue;
            }
            if (fill() == 0) break;
        }
        const std::size_t take = std::min(n - done, m_bufLen - m_bufPos);
        std::memcpy(out + done, m_buf.data() + m_bufPos, take);
        m_bufPos += take;
        done += take;
    }
    return done;
}

void FileSource::seek(uint64_t pos) {
    if (pos >= m_bufStart && pos <= m_bufStart + m_bufLen) {
        m_bufPos = static_cast<std::size_t>(pos - m_bufStart);
        return;
    }
    m_bufStart = pos;
    m_bufPos = m_bufLen = 0;
}

std::vector<uint8_t> readWholeFile(const std::string& path) {
    FileSource src(path);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(src.size()));
    bytes.resize(src.read(bytes.data(), bytes.size()));
    return bytes;
}

} // namespace kestrum
