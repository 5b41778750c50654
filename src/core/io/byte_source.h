#pragma once
// Readable, seekable byte streams for the readers: a file or a block of memory.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrum {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Copies up to n bytes; returns how many were there.
    virtual std::size_t read(void* dst, std::size_t n) = 0;
    virtual uint64_t position() const = 0;
    virtual uint64_t size() const = 0;
    virtual void seek(uint64_t pos) = 0;

    uint64_t remaining() const {
        const uint64_t s = size(), p = position();
        return p < s ? s - p : 0;
    }
};

class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    std::size_t read(void* dst, std::size_t n) override;
    uint64_t position() const override { return m_pos; }
    uint64_t size() const override { return m_bytes.size(); }
    void seek(uint64_t pos) override { m_pos = pos; }

  private:
    std::span<const uint8_t> m_bytes;
    uint64_t m_pos = 0;
};

// A file read through one buffer; large reads go straight into the caller's memory.
class FileSource final : public ByteSource {
  public:
    // Throws FileError naming the file and the reason.
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::size_t read(void* dst, std::size_t n) override;
    uint64_t position() const override { return m_bufStart + m_bufPos; }
    uint64_t size() const override { return m_size; }
    void seek(uint64_t pos) override;

  private:
    std::size_t fill();

    std::FILE* m_file = nullptr;
    uint64_t m_filePos = 0; // where the next fread lands
    uint64_t m_size = 0;
    std::vector<uint8_t> m_buf;
    uint64_t m_bufStart = 0; // file offset of m_buf[0]
    std::size_t m_bufPos = 0;
    std::size_t m_bufLen = 0;
    std::string m_path;
};

class FileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The whole file in memory (for small files, sniffing and tests).
std::vector<uint8_t> readWholeFile(const std::string& path);

} // namespace kestrum
