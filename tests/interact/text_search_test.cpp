// Finding objects by their words: which objects match, in which order, and how case is folded
// in the map's code page.

#include "component/korvane.h"
#include "interact/text_search.h"
#include "model/codepage.h"

#include <gtest/gtest.h>

#include <string>

using namespace kestrum;

namespace {

// UTF-8 text in the map's code page, as map files keep it.
std::string cp(const char* utf8, CodePage page = CodePage::Cp1251) { return fromUtf8(page, utf8); }

TQEVMapObjectMem label(const std::string& text, float x) {
    TQEVMapObjectMem o;
    o.Kind = cText;
    TQEVMapText t;
    t.X = x, t.Y = 0, t.Text = text;
    o.setText(t);
    o.Corners = {TMapPoint{x, 0}, {x + 10, 0}, {x + 10, 5}, {x, 5}};
    return o;
}

TQEVMapObjectMem note(const std::string& text, float x) {
    TQEVMapObjectMem o;
    o.Kind = cZametka;
    TQEVMapZametka z;
    z.X = x, z.Text = text;
    o.setNote(z);
    o.Corners = {TMapPoint{x, 0}, {x, 0}, {x, 0}, {x, 0}};
    return o;
}

TQEVMapObjectMem addressed(MapDocument& doc, const std::string& street, const std::string& house, float x) {
    TQEVMapObjectMem o;
    o.Kind = cPolygon;
    o.setPoints({{x, 0}, {x + 1, 0}, {x + 1, 1}});
    TAddressCode a;
    int32_t next = 1;
    a.StreetCode = int16_t(doc.streets.codeOf(street, next));
    a.House.assign(house);
    o.setAddress(a);
    o.Corners = {TMapPoint{x, 0}, {x + 1, 0}, {x + 1, 1}, {x, 1}};
    return o;
}

} // namespace

TEST(TextSearch, FindsLabelsNotesAndAddressesInListOrderBothWays) {
    MapDocument doc;
    doc.objects.Add(label(cp("Река Кестра"), 0));                    // 0
    doc.objects.Add(addressed(doc, cp("ЛЕСНАЯ УЛИЦА"), "7", 100));  // 1
    doc.objects.Add(note(cp("Почта, вход со двора"), 200));          // 2
    doc.objects.Add(label(cp("лесная поляна"), 300));               // 3
    {
        TQEVMapObjectMem g;
        g.Kind = cGroup;
        auto members = std::make_unique<TQevMapList>();
        members->Add(label(cp("мост"), 400));
        members->Add(label(cp("Лесной мост"), 450));
        g.setChildren(std::move(members));
        doc.objects.Add(std::move(g)); // 4
    }

    // Case folded across Cyrillic: "лесн" finds the upper-case street name first.
    auto m = FindText(doc, "лесн", -1);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->index, 1);
    EXPECT_FLOAT_EQ(m->box.MinX, 100);
    m = FindText(doc, "лесн", m->index);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->index, 3);
    m = FindText(doc, "лесн", m->index);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->index, 4);                // a group by its member's words,
    EXPECT_FLOAT_EQ(m->box.MinX, 450);     // and the box is the member's
    EXPECT_FALSE(FindText(doc, "лесн", 4)); // no wrap at the end: the host says "not found"

    // Backwards from the current match; from the end with nothing current.
    TextSearchOptions back;
    back.backwards = true;
    EXPECT_EQ(FindText(doc, "лесн", 3, back)->index, 1);
    EXPECT_EQ(FindText(doc, "лесн", -1, back)->index, 4);
    EXPECT_FALSE(FindText(doc, "лесн", 1, back));

    // "Find first" starts over whatever is current.
    TextSearchOptions first;
    first.fromStart = true;
    EXPECT_EQ(FindText(doc, "лесн", 3, first)->index, 1);

    // Matching case: only the label written that way.
    TextSearchOptions exact;
    exact.matchCase = true;
    EXPECT_EQ(FindText(doc, "лесн", -1, exact)->index, 3);
    EXPECT_EQ(FindText(doc, "Лесн", -1, exact)->index, 4);

    // A street with its house number, a note's text, a house number alone.
    EXPECT_EQ(FindText(doc, "лесная улица 7", -1)->index, 1);
    EXPECT_EQ(FindText(doc, "ВХОД СО", -1)->index, 2);
    EXPECT_FALSE(FindText(doc, "ЛЕСНАЯ УЛИЦА 8", -1));
    EXPECT_FALSE(FindText(doc, "", -1));
    EXPECT_FALSE(FindText(doc, "\xFF\xFE", -1)); // broken UTF-8 matches nothing rather than failing
}

TEST(TextSearch, FoldsCaseInTheMapsCodePage) {
    EXPECT_EQ(foldCase(U'Ё'), U'ё');
    EXPECT_EQ(foldCase(U'Я'), U'я');
    EXPECT_EQ(foldCase(U'Ž'), U'ž');
    EXPECT_EQ(foldCase(U'Ł'), U'ł');
    EXPECT_EQ(foldCase(U'×'), U'×');
    MapDocument doc;
    doc.codePage = CodePage::Cp1250;
    doc.objects.Add(label(cp("Łódź, ŻELAZNA", CodePage::Cp1250), 0));
    EXPECT_EQ(FindText(doc, "łÓDŹ", -1)->index, 0);
    EXPECT_EQ(FindText(doc, "żelazna", -1)->index, 0);
}

TEST(TextSearch, FindsTheSampleMapsStreets) {
    TKorvane map;
    map.LoadFromFile(std::string(KESTRUM_DATA_DIR) + "/sample.map");
    const auto m = FindText(map.Document(), "садовая", -1);
    ASSERT_TRUE(m);
    const auto texts = SearchableTexts(map.Document(), map.Objects()[m->index]);
    ASSERT_FALSE(texts.empty());
    EXPECT_NE(toUtf8(CodePage::Cp1251, texts.front()).find("САДОВАЯ"), std::string::npos);
    EXPECT_FALSE(FindText(map.Document(), "Несуществующая", -1));
}
