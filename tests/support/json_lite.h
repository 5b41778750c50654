#pragma once
// Just enough of a JSON parser to check what `kestrum info --json` prints. Anything that is not
// well-formed JSON throws std::runtime_error, which fails the test that parses it.

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kestrum::test {

struct Json {
    using Array = std::vector<Json>;
    using Object = std::map<std::string, Json>;
    std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<Array>, std::shared_ptr<Object>>
        v;

    double num() const { return std::get<double>(v); }
    const std::string& str() const { return std::get<std::string>(v); }
    const Array& arr() const { return *std::get<std::shared_ptr<Array>>(v); }
    const Object& obj() const { return *std::get<std::shared_ptr<Object>>(v); }
    bool has(const std::string& key) const { return obj().contains(key); }
    const Json& operator[](const std::string& key) const { return obj().at(key); }
    const Json& operator[](std::size_t i) const { return arr().at(i); }
};

class JsonParser {
  public:
    explicit JsonParser(std::string_view text) : m_s(text) {}
    Json document() {
        Json j = value();
        if (skip() != '\0') fail("trailing characters");
        return j;
    }

  private:
    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error("JSON: " + what + " at " + std::to_string(m_i));
    }
    // Skips blanks; the next character, or NUL at the end.
    char skip() {
        while (m_i < m_s.size() && std::string_view(" \t\r\n").find(m_s[m_i]) != std::string_view::npos)
            ++m_i;
        return m_i < m_s.size() ? m_s[m_i] : '\0';
    }
    void expect(char c) {
        if (skip() != c) fail(std::string("expected ") + c);
        ++m_i;
    }
    bool word(std::string_view w) {
        if (m_s.substr(m_i, w.size()) != w) return false;
        m_i += w.size();
        return true;
    }

    Json value() {
        const char c = skip();
        if (c == '{' || c == '[') return container(c);
        if (c == '"') return Json{string()};
        if (word("null")) return Json{nullptr};
        if (word("true")) return Json{true};
        if (word("false")) return Json{false};
        const std::size_t start = m_i;
        while (m_i < m_s.size() &&
               std::string_view("+-0123456789.eE").find(m_s[m_i]) != std::string_view::npos)
            ++m_i;
        if (start == m_i) fail("expected a value");
        return Json{std::stod(std::string(m_s.substr(start, m_i - start)))};
    }

    Json container(char open) {
        const char close = open == '{' ? '}' : ']';
        auto o = std::make_shared<Json::Object>();
        auto a = std::make_shared<Json::Array>();
        expect(open);
        if (skip() == close) {
            ++m_i;
        } else {
            for (;;) {
                if (open == '{') {
                    if (skip() != '"') fail("expected a key");
                    std::string k = string();
                    expect(':');
                    (*o)[k] = value();
                } else {
                    a->push_back(value());
                }
                if (skip() != ',') break;
                ++m_i;
            }
            expect(close);
        }
        return open == '{' ? Json{o} : Json{a};
    }

    std::string string() {
        expect('"');
        std::string out;
        for (;;) {
            if (m_i >= m_s.size()) fail("unfinished string");
            const char c = m_s[m_i++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) fail("control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = m_i < m_s.size() ? m_s[m_i++] : '\0';
            const std::string_view from = "\"\\/bfnrt", to = "\"\\/\b\f\n\r\t";
            if (const auto k = from.find(e); k != std::string_view::npos && e != '\0') {
                out += to[k];
            } else if (e == 'u' && m_i + 4 <= m_s.size()) {
                // The tool writes text as UTF-8 and escapes only control characters.
                out += static_cast<char>(std::stoi(std::string(m_s.substr(m_i, 4)), nullptr, 16));
                m_i += 4;
            } else {
                fail("bad escape");
            }
        }
    }

    std::string_view m_s;
    std::size_t m_i = 0;
};

inline Json parseJson(std::string_view text) {
    return JsonParser(text).document();
}

} // namespace kestrum::test
