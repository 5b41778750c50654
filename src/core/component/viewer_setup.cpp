#include "component/viewer_setup.h"

#include "io/file_open.h"
#include "render/draw_state.h"

#include <cmath>
#include <filesystem>

namespace kestrum {

void ApplyViewerSetup(TKorvane& map) {
    tQevMapOptions& o = map.Options;
    // Every option change would redraw; the set-up redraws once at the end.
    const bool wasActive = o.Active;
    o.Active = false;
    o.mpGrid(false);
    o.mpDelete(false);
    o.mpGuideLines(false);
    o.mpHint(false);
    o.mpNumberDom(true);
    o.mpNumberDomSizeFont(10);
    o.mpNumberDomFill(false);
    o.mpNumberDomBold(false);
    o.mpNumberDomBorder(true);
    o.mpNumberDomBorderColor(0xFFFFFF);
    o.mpLinzaDouble(false);
    o.mpAllMapAfterLoad(true);
    o.mpNoScroll(false);
    o.mpLineWidthMin(0.05f);
    o.View3D(true);
    o.View3DAngle(90);
    o.MinScale3D(3.0f);
    o.MinScaleAddress(4.0);
    o.MinScaleIcon(1.0);
    o.MeasureFontSize(12);
    o.RefreshLink(false);
    o.Texture(true);
    o.FontSystem("Arial Cyr");
    o.FontSystem1("Times New Roman Cyr");
    o.ObjectView(3);
    o.SizeRect(4);
    o.StepLinza(50);
    o.WidthRectLinza(2);
    o.DelayScroll(20);
    o.ZoneScroll(50);
    o.UndoLevels(0);
    o.ShowMeasure(false);
    o.LockScrollOutMap(true);
    o.SystemPopUpMenu(true);
    o.CancelAction(qevRightButton);
    o.ZoneFindLine(5);
    o.ShowRegion(false);
    o.BorderLeft(0);
    o.BorderRight(0);
    o.BorderTop(0);
    o.BorderBottom(0);
    // Stored with the viewer's form rather than set by its code.
    o.UseGDIPlus(true);
    o.AntiAliasing(qevSmoothingModeNone);
    o.Active = wasActive;

    map.Instrument(iNone);
    map.BackgroundColor = 0xFFFFFF;
    map.ScaleFind = 1;
    map.Mashtab(0);
    map.UseIndex = false;
    map.IndexSize = 1000;
    map.TimerInterval = 750;
    map.Tag = 1;
    map.Options.mpEdit(map.Options.mpEdit()); // runs the options-changed step once
    map.SetScale(100);
}

void FinishImportForViewing(TKorvane& map) {
    RecomputeLargeTextBoxes(map);
    map.Filter(true);
    map.Mashtab(5000);
    map.SetAllClassesVisible(true);
    map.RecomputeExtent();
    map.Options.mpAllMapAfterLoad(true);
    map.ZoomToMap();
}

void RecomputeLargeTextBoxes(TKorvane& map) {
    TDrawObject& d = map.DrawObjectBackend();
    const TDrawStateScope keep(d, dsText);
    d.TextHeight = 1000;
    for (TQEVMapObjectMem& o : map.Objects()) {
        const TQEVMapText* t = o.Kind == cText ? o.text() : nullptr;
        if (!t || !(t->FontSize >= 1000)) continue;
        d.TextFace = t->FontIndex == 1 ? map.Options.FontSystem1() : map.Options.FontSystem();
        const double w = d.MeasureText(t->Text).width * t->FontSize / 1000.0;
        o.Corners = textBox(o.Corners[0], static_cast<float>(w), t->FontSize, t->Angle);
    }
}

void InstallViewerHooks(TKorvane& map, ViewerHooks& state) {
    TKorvane* m = &map;
    map.OnFilteredObject = [m](const TQEVMapObjectMem& o, bool& visible) {
        // A label taller than a quarter of the view is unreadable: it is left out.
        if (const TQEVMapText* t = o.Kind == cText ? o.text() : nullptr) visible = m->ViewHeight() / 4 > t->FontSize;
    };
    map.OnPaintObject = [m, &state](const TQEVMapObjectMem& o, uint8_t&, TCanvasPen& pen, TCanvasBrush& brush) {
        if (o.Kind == cLine) {
            if (o.Height > 0) pen.Width = static_cast<int32_t>(std::lround(o.Height));
            // Lines without a border; the width-in-pixels bit of imported MapInfo pens is no border.
            if ((o.Pen.Flags & ~kPenWidthPixels) < 2) {
                pen.Style = penStyleOf(o.Pen.Style);
                pen.Color = o.Pen.Color;
                brush.Color = o.Brush.Color;
                brush.Style = brushStyleOf(o.Brush.Style);
            }
            // Lines of plane 62 keep their address unlabelled.
            if (o.HasAddress == 1 && o.Ploskost != 62) state.streetLabels.Add(m->Renderer(), o, 3, m->DrawObjectBackend());
        } else if (o.Kind == cZametka) {
            const TQEVMapZametka* z = o.note();
            if (!z || z->Text.empty()) return;
            const std::string_view text = z->Text;
            const std::string_view first = text.substr(0, text.find("\r\n"));
            TDrawObject& d = m->DrawObjectBackend();
            {
                const TDrawStateScope keep(d, dsBrush | dsText);
                d.TextFace = "Arial";
                d.TextBold = true;
                d.TextColor = o.Pen.Color;
                d.TextHeight = state.streetLabels.Settings.FontSize + 1; // a size above the street names
                d.Brush = {o.Brush.Color, brushStyleOf(o.Brush.Style), nullptr};
                const TPoint at = m->View().toScreen({z->X, z->Y});
                const int w = static_cast<int>(std::lround(d.MeasureText(first).width));
                d.DrawText(at.X - w / 2, at.Y + 15, false, first, 0);
            }
            // A caption leaves the plain weight behind, whatever was in force before it.
            d.TextBold = false;
        }
    };
    map.OnPixelLineEvent = [&state](const TQEVMapObjectMem& o, int x, int y, int, double, TDrawObject& canvas) {
        if (++state.pixelCounter > 15) state.pixelCounter = 0;
        const TCanvasBrush brush = state.pixelCounter > 10 ? TCanvasBrush{o.Brush.Color, brushStyleOf(o.Brush.Style), nullptr}
                                                           : TCanvasBrush{o.Pen.Color, bsSolid, nullptr};
        const int side = static_cast<int>(std::lround(o.Height));
        canvas.FillRect({x, y, x + side, y + side}, brush);
    };
    map.OnPaintAddress = [](int&, int&, int32_t, int32_t& fontColor, int32_t&, int32_t&) { fontColor = 0; };
    map.OnAfterScroll = [m](TKorvane&) { m->SetScale(m->Scale()); };
    map.OnBeforeRisovan = [&state](TDrawObject&) { state.streetLabels.NewStrip(); };
    map.OnAfterRisovan = [m, &state](TDrawObject& canvas) {
        try {
            if (m->Tag == 1) state.streetLabels.Paint(canvas);
        } catch (...) {
            // Labels are an extra: a failure to draw them must not cost the map.
        }
        state.streetLabels.Clear();
    };
}

std::string AddressText(const TFoundAddress& found) {
    if (!found.found) return {};
    std::string s;
    if (found.hasAddress) {
        const TAdres& a = found.adres;
        s = a.Town + "\n" + a.Street + "\n" + a.House + "\n" + a.Street1 + "\n" + a.House1 + "\n";
    }
    return s + found.noteText;
}

std::string BalloonText(std::string text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += '\n';
            ++i; // the pair is consumed: three line feeds leave two
        } else {
            out += text[i] == '\0' ? ' ' : text[i];
        }
    }
    return out;
}

MapReadResult LoadMapForViewing(TKorvane& map, const std::string& path) {
    map.FileName(path.substr(0, 255));
    std::error_code ec;
    if (!std::filesystem::exists(pathFromUtf8(path), ec)) return {}; // a Cyrillic name too, on Windows
    map.BeginUpdate();
    MapReadResult result;
    try {
        result = map.LoadFromFile(path);
        RecomputeLargeTextBoxes(map);
        map.Filter(true);
        map.Mashtab(5000);
        map.SetAllClassesVisible(true);
    } catch (...) {
        map.EndUpdate();
        throw;
    }
    map.EndUpdate();
    return result;
}

} // namespace kestrum
