#include "model/map_document.h"

#include <chrono>

namespace kestrum {

double currentDateStamp() {
    using namespace std::chrono;
    // 25569 days lie between 30 December 1899 and the Unix epoch.
    const auto now = system_clock::now().time_since_epoch();
    return 25569.0 + duration<double>(now).count() / 86400.0;
}

TAdres MapDocument::DecodeAddress(const TQEVMapObjectMem& obj) const {
    TAdres a;
    if (obj.HasAddress != 1 || !obj.Address) return a;
    const TAddressCode& code = *obj.Address;
    a.Town = towns.name(code.TownCode);
    a.Street = streets.name(code.StreetCode);
    a.House = code.House.str();
    a.Street1 = streets.name(code.Street1Code);
    a.House1 = code.House1.str();
    return a;
}

void MapDocument::clear() {
    objects.Clear();
    streets.clear();
    towns.clear();
    extent = {};
    header = MapHeader{};
    setCodePage(CodePage::Cp1251);
    textSource.reset();
}

void MapDocument::setCodePage(CodePage cp) {
    codePage = cp;
    streets.setCodePage(cp);
    towns.setCodePage(cp);
}

} // namespace kestrum
