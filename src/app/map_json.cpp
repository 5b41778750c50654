#include "map_json.h"

#include "json_writer.h"

namespace kestrum {

namespace {

void point(JsonWriter& j, TMapPoint p) {
    j.beginArray();
    j.number(p.X);
    j.number(p.Y);
    j.endArray();
}

void corners(JsonWriter& j, const std::array<TMapPoint, 4>& c) {
    j.beginArray();
    for (const TMapPoint& p : c) point(j, p);
    j.endArray();
}

class ObjectJson {
  public:
    ObjectJson(JsonWriter& j, const MapDocument& doc) : m_j(j), m_doc(doc) {}

    void write(const TQEVMapObjectMem& o) {
        JsonWriter& j = m_j;
        const CodePage cp = m_doc.codePage;
        j.beginObject();
        j.key("ID"), j.number(o.ID);
        j.key("Reserved1"), j.number(o.Reserved1);
        j.key("Reserved2"), j.number(o.Reserved2);
        j.key("Kind");
        if (o.Kind < kKindCount)
            j.string(kindName(o.Kind));
        else
            j.number(o.Kind);
        j.key("Ploskost"), j.number(o.Ploskost);
        j.key("ClassCode"), j.number(o.ClassCode);
        j.key("Locked"), j.number(o.Locked);
        j.key("DataCount"), j.number(o.DataCount);
        j.key("Alpha"), j.number(o.Alpha);
        j.key("Height"), j.number(o.Height);
        j.key("HasAddress"), j.number(o.HasAddress);
        j.key("HasExtra"), j.number(o.HasExtra);
        j.key("Pen");
        j.beginObject();
        j.key("Color"), j.number(o.Pen.Color);
        j.key("Style"), j.number(o.Pen.Style);
        j.key("Width"), j.number(o.Pen.Width);
        j.key("Flags"), j.number(o.Pen.Flags);
        j.endObject();
        j.key("Brush");
        j.beginObject();
        j.key("Color"), j.number(o.Brush.Color);
        j.key("Style"), j.number(o.Brush.Style);
        j.endObject();
        j.key("Corners"), corners(j, o.Corners);
        j.key("Center"), point(j, o.Center);

        if (isPointKind(o.Kind)) {
            j.key("Points");
            j.beginArray();
            for (const TMapPoint& p : o.points()) point(j, p);
            j.endArray();
        } else if (const TQEVMapText* t = o.Kind == cText ? o.text() : nullptr) {
            j.key("Text");
            j.beginObject();
            j.key("X"), j.number(t->X);
            j.key("Y"), j.number(t->Y);
            j.key("Angle"), j.number(t->Angle);
            j.key("FontIndex"), j.number(t->FontIndex);
            j.key("FontSize"), j.number(t->FontSize);
            j.key("Text"), j.string(toUtf8(cp, t->Text));
            j.endObject();
        } else if (const TQEVMapZametka* z = o.Kind == cZametka ? o.note() : nullptr) {
            j.key("Note");
            j.beginObject();
            j.key("X"), j.number(z->X);
            j.key("Y"), j.number(z->Y);
            j.key("LibName"), j.string(toUtf8(cp, z->LibName.view()));
            j.key("IconName"), j.string(toUtf8(cp, z->IconName.view()));
            j.key("Text"), j.string(toUtf8(cp, z->Text));
            j.endObject();
        } else if (const TQEVMapBitmap* b = o.Kind == cBitmap ? o.bitmap() : nullptr) {
            j.key("Bitmap");
            j.beginObject();
            j.key("Corners"), corners(j, b->Corners);
            j.key("ImageFormat"), j.number(b->ImageFormat);
            j.key("Transparent"), j.number(b->Transparent);
            j.key("TransparentColor"), j.number(b->TransparentColor);
            j.key("ImageSize"), j.number(b->ImageData.size());
            j.endObject();
        } else if (o.Kind == cGroup) {
            j.key("Children");
            j.beginArray();
            if (const TQevMapList* kids = o.children())
                for (const TQEVMapObjectMem& kid : *kids) write(kid);
            j.endArray();
        }

        if (o.HasAddress == 1) {
            const TAdres a = m_doc.DecodeAddress(o);
            j.key("Address");
            j.beginObject();
            j.key("Town"), j.string(toUtf8(cp, a.Town));
            j.key("Street"), j.string(toUtf8(cp, a.Street));
            j.key("House"), j.string(toUtf8(cp, a.House));
            j.key("Street1"), j.string(toUtf8(cp, a.Street1));
            j.key("House1"), j.string(toUtf8(cp, a.House1));
            j.endObject();
        }
        if (o.HasExtra == 1 && o.Extra) {
            static const char* hex = "0123456789abcdef";
            std::string s;
            for (uint8_t byte : *o.Extra) s += hex[byte >> 4], s += hex[byte & 15];
            j.key("Extra"), j.string(s);
        }
        j.endObject();
    }

  private:
    JsonWriter& m_j;
    const MapDocument& m_doc;
};

void dictionary(JsonWriter& j, const TMapDictionary& dict, CodePage cp) {
    j.beginArray();
    for (const TMapDictionary::Entry& e : dict.sorted()) {
        j.beginObject();
        j.key("name"), j.string(toUtf8(cp, e.name));
        j.key("code"), j.number(e.code);
        j.endObject();
    }
    j.endArray();
}

} // namespace

void writeMapJson(std::ostream& out, const MapDocument& doc, const MapHeader& h) {
    JsonWriter j(out);
    const CodePage cp = doc.codePage;
    j.beginObject();
    j.key("header");
    j.beginObject();
    j.key("Version"), j.number(h.Version);
    j.key("NameMap"), j.string(toUtf8(cp, h.NameMap.view()));
    j.key("CreatedBy"), j.string(toUtf8(cp, h.CreatedBy.view()));
    j.key("Mashtab"), j.number(h.Mashtab);
    j.key("ObjectCount"), j.number(h.ObjectCount);
    j.key("NextID"), j.number(h.NextID);
    j.key("Scale"), j.number(h.Scale);
    j.key("XWind"), j.number(h.XWind);
    j.key("YWind"), j.number(h.YWind);
    j.key("StreetCount"), j.number(h.StreetCount);
    j.key("NextStreetCode"), j.number(h.NextStreetCode);
    j.key("TownCount"), j.number(h.TownCount);
    j.key("NextTownCode"), j.number(h.NextTownCode);
    j.key("CodePage"), j.number(static_cast<int>(cp));
    if (doc.textSource) {
        j.key("DeclaredCodePage"), j.number(doc.textSource->declaredCodePage);
        j.key("TextEncoding"), j.string(doc.textSource->foundEncoding);
    }
    j.endObject();
    j.key("streets"), dictionary(j, doc.streets, cp);
    j.key("towns"), dictionary(j, doc.towns, cp);
    j.key("extent");
    j.beginArray();
    j.number(doc.extent.MinX), j.number(doc.extent.MinY), j.number(doc.extent.MaxX), j.number(doc.extent.MaxY);
    j.endArray();
    j.key("objects");
    j.beginArray();
    ObjectJson writer(j, doc);
    for (const TQEVMapObjectMem& o : doc.objects) writer.write(o);
    j.endArray();
    j.endObject();
    out << '\n';
}

} // namespace kestrum
