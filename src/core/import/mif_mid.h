#pragma once
// The attribute half of a MIF/MID pair: which declared columns carry an address, and the
// splitting of a MID row into the values of those columns.

#include "import/mif_charset.h"

#include <string>
#include <string_view>
#include <vector>

namespace kestrum::mif {

// The name of a column from its declaration line ("  Name Char(10)", "  My Street Char (40)",
// "  \"Quoted name\" Integer"). Names may hold blanks: the type is the last word, with its
// parenthesised size when there is one.
std::string_view columnName(std::string_view declaration);

// Where the quoted value begins that a MID row ends inside, or npos when the row is whole:
// MapInfo writes a value holding line breaks as one quoted value over several lines. Only a
// quote at the start of a value opens one; a doubled quote inside stands for a quote. `from`
// must be the start of a value (an earlier answer, when the row has grown since).
std::size_t openQuotedValue(std::string_view row, char delimiter, std::size_t from = 0);

struct AddressValues {
    std::string town, street, house; // map code page
};

class MidAddressDecoder {
  public:
    // Roles are found in the names upper-cased in Windows-1251, where the Russian keywords live,
    // so a name may be written in any case.
    void addColumn(std::string_view nameCp1251);
    int columnCount() const { return static_cast<int>(m_roles.size()); }
    // Whether any column names a town, street or house: rows need splitting only then.
    bool wantsValues() const { return m_lastNeeded >= 0; }
    void setDelimiter(char d) { m_delimiter = d; }
    char delimiter() const { return m_delimiter; }

    struct RowOutcome {
        bool missingValues = false; // the row ended before a column the address needs
        bool unterminatedQuote = false;
        TextDecoder::Outcome text = TextDecoder::Outcome::Exact; // the worst of the values taken
    };
    // The address of one row (cleared first).
    RowOutcome decode(std::string_view row, const TextDecoder& text, AddressValues& out);

  private:
    struct Roles {
        bool town = false, street = false, house = false, dom = false;
    };
    std::vector<Roles> m_roles;
    int m_lastNeeded = -1;
    // MapInfo's documented default when a file names no delimiter.
    char m_delimiter = '\t';
    std::vector<std::string_view> m_values; // raw values of the row being decoded
    std::string m_unquoted, m_converted;
};

} // namespace kestrum::mif
