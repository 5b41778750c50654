#include "import/mif_mid.h"

#include "import/mif_lines.h"
#include "model/codepage.h"

namespace kestrum::mif {

std::string_view columnName(std::string_view declaration) {
    std::string_view s = trimmed(declaration);
    if (!s.empty() && s[0] == '"') {
        const std::size_t q = s.find('"', 1);
        return q == std::string_view::npos ? s.substr(1) : s.substr(1, q - 1);
    }
    // Drop a parenthesised size ("Char (40)", "Decimal(10,2)") and then the type word before it.
    if (!s.empty() && s.back() == ')') {
        const std::size_t open = s.rfind('(');
        if (open != std::string_view::npos) s = trimmed(s.substr(0, open));
    }
    const std::size_t lastBlank = [&] {
        for (std::size_t i = s.size(); i > 0; --i)
            if (isBlank(s[i - 1])) return i - 1;
        return std::string_view::npos;
    }();
    if (lastBlank == std::string_view::npos) return s; // a name without a type
    return trimmed(s.substr(0, lastBlank));
}

namespace {

bool contains(std::string_view hay, std::string_view needle) { return hay.find(needle) != std::string_view::npos; }

// The Russian column keywords, in Windows-1251 upper case: ГОРОД (town), УЛИЦА (street), ДОМ (house).
constexpr std::string_view kGorod = "\xC3\xCE\xD0\xCE\xC4";
constexpr std::string_view kUlitsa = "\xD3\xCB\xC8\xD6\xC0";
constexpr std::string_view kDom = "\xC4\xCE\xCC";

// "none" (in any case) stands for a missing value in some exports.
bool isNone(std::string_view v) { return equalsNoCase(trimmed(v), "none"); }

} // namespace

std::size_t openQuotedValue(std::string_view row, char delimiter, std::size_t from) {
    constexpr std::size_t npos = std::string_view::npos;
    if (row.find('"', from) == npos) return npos;
    std::size_t i = from;
    for (;;) {
        if (i < row.size() && row[i] == '"') {
            std::size_t j = i + 1;
            for (;;) {
                const std::size_t q = row.find('"', j);
                if (q == npos) return i;
                if (q + 1 < row.size() && row[q + 1] == '"') {
                    j = q + 2;
                    continue;
                }
                i = q + 1;
                break;
            }
        }
        const std::size_t d = row.find(delimiter, i);
        if (d == npos) return npos;
        i = d + 1;
    }
}

void MidAddressDecoder::addColumn(std::string_view nameCp1251) {
    const std::string up = toUpper(CodePage::Cp1251, nameCp1251);
    Roles r;
    // "CITY" only as the whole name: as a part it would also catch "CAPACITY" or "ELECTRICITY".
    r.town = contains(up, "CATY") || contains(up, "TOWN") || contains(up, kGorod) || trimmed(up) == "CITY";
    r.street = contains(up, "LABEL") || contains(up, "STREET") || contains(up, kUlitsa);
    r.house = contains(up, "HOUSE");
    r.dom = contains(up, kDom);
    if (r.town || r.street || r.house || r.dom) m_lastNeeded = static_cast<int>(m_roles.size());
    m_roles.push_back(r);
}

MidAddressDecoder::RowOutcome MidAddressDecoder::decode(std::string_view row, const TextDecoder& text,
                                                        AddressValues& out) {
    out.town.clear(), out.street.clear(), out.house.clear();
    RowOutcome result;
    if (m_lastNeeded < 0) return result;

    // Split only as far as the last column the address reads. A value that starts with a quote
    // runs to the closing quote (a doubled quote inside is one quote), so it may hold the
    // delimiter; after it everything up to the next delimiter is dropped.
    m_values.clear();
    std::size_t i = 0;
    const auto want = static_cast<std::size_t>(m_lastNeeded) + 1;
    bool more = true;
    while (more && m_values.size() < want) {
        if (i < row.size() && row[i] == '"') {
            std::size_t j = i + 1;
            for (;;) {
                const std::size_t q = row.find('"', j);
                if (q == std::string_view::npos) {
                    j = row.size();
                    result.unterminatedQuote = true;
                    break;
                }
                if (q + 1 < row.size() && row[q + 1] == '"') {
                    j = q + 2;
                    continue;
                }
                j = q + 1;
                break;
            }
            m_values.push_back(row.substr(i, j - i));
            const std::size_t d = row.find(m_delimiter, j);
            more = d != std::string_view::npos;
            i = more ? d + 1 : row.size();
        } else {
            const std::size_t d = row.find(m_delimiter, i);
            more = d != std::string_view::npos;
            m_values.push_back(row.substr(i, more ? d - i : std::string_view::npos));
            i = more ? d + 1 : row.size();
        }
    }

    for (std::size_t c = 0; c < want; ++c) {
        const Roles& r = m_roles[c];
        if (!(r.town || r.street || r.house || r.dom)) continue;
        if (c >= m_values.size()) {
            result.missingValues = true;
            break;
        }
        std::string_view v = m_values[c];
        if (!v.empty() && v[0] == '"') {
            m_unquoted.clear();
            bool unterminated = false;
            std::string_view rest = v;
            takeQuoted(rest, m_unquoted, unterminated);
            // A value over several lines is one name: its line breaks become blanks.
            for (char& ch : m_unquoted)
                if (ch == '\n' || ch == '\r') ch = ' ';
            v = m_unquoted;
        }
        // "Name;Alias" values: the text after the first ';' is the one shown.
        if (const std::size_t semi = v.find(';'); semi != std::string_view::npos) v = v.substr(semi + 1);
        if (isNone(v)) v = {};
        if (v.empty()) continue;
        const bool needed = (r.town && out.town.empty()) || (r.street && out.street.empty()) ||
                            (r.house && out.house.empty()) || r.dom;
        if (!needed) continue;
        const TextDecoder::Outcome o = text.convert(v, m_converted);
        if (o > result.text) result.text = o;
        if (r.town && out.town.empty()) out.town = m_converted;
        if (r.street && out.street.empty()) out.street = m_converted;
        if (r.house && out.house.empty()) out.house = m_converted;
        // A ДОМ column wins over any earlier house value: the last such column counts.
        if (r.dom) out.house = m_converted;
    }
    return result;
}

} // namespace kestrum::mif
