#pragma once
// A small streaming JSON writer: objects, arrays, strings and numbers, written straight to a
// stream so that large maps print without building a tree first.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum {

class JsonWriter {
  public:
    explicit JsonWriter(std::ostream& out) : m_out(out) {}

    void beginObject() { open('{'); }
    void endObject() { close('}'); }
    void beginArray() { open('['); }
    void endArray() { close(']'); }

    void key(std::string_view k) {
        separate();
        writeString(k);
        m_out << ": ";
        m_afterKey = true;
    }

    void string(std::string_view utf8) {
        separate();
        writeString(utf8);
    }
    template <class T>
        requires std::is_integral_v<T>
    void number(T v) {
        separate();
        m_out << +v;
    }
    // Shortest text that reads back as the same value; JSON has no NaN or infinity: null.
    template <class T>
        requires std::is_floating_point_v<T>
    void number(T v) {
        separate();
        if (!std::isfinite(v)) {
            m_out << "null";
            return;
        }
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        m_out.write(buf, r.ptr - buf);
    }
    void raw(std::string_view text) {
        separate();
        m_out << text;
    }

  private:
    void open(char c) {
        separate();
        m_out << c;
        m_first.push_back(true);
    }
    void close(char c) {
        m_first.pop_back();
        m_out << c;
    }
    void separate() {
        if (m_afterKey) {
            m_afterKey = false;
            return;
        }
        if (!m_first.empty()) {
            if (!m_first.back()) m_out << ", ";
            m_first.back() = false;
        }
    }
    void writeString(std::string_view s) {
        m_out << '"';
        for (unsigned char c : s) {
            switch (c) {
            case '"': m_out << "\\\""; break;
            case '\\': m_out << "\\\\"; break;
            case '\n': m_out << "\\n"; break;
            case '\r': m_out << "\\r"; break;
            case '\t': m_out << "\\t"; break;
            default:
                if (c < 0x20) {
                    static const char* hex = "0123456789abcdef";
                    m_out << "\\u00" << hex[c >> 4] << hex[c & 15];
                } else {
                    m_out << static_cast<char>(c);
                }
            }
        }
        m_out << '"';
    }

    std::ostream& m_out;
    std::vector<bool> m_first;
    bool m_afterKey = false;
};

} // namespace kestrum
