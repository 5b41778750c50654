#include "component/viewer_setup.h"

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
    map.Options.mpEdit(map.Options.mpEdit()); // runs the options-changed step once
    map.SetScale(100);
}

void RecomputeLargeTextBoxes(TKorvane& map) {
    TDrawObject& d = map.DrawObjectBackend();
    const int32_t savedHeight = d.TextHeight;
    const std::string savedFace = d.TextFace;
    d.TextHeight = 1000;
    for (TQEVMapObjectMem& o : map.Objects()) {
        const TQEVMapText* t = o.Kind == cText ? o.text() : nullptr;
        if (!t || !(t->FontSize >= 1000)) continue;
        d.TextFace = t->FontIndex == 1 ? map.Options.FontSystem1() : map.Options.FontSystem();
        const double w = d.MeasureText(t->Text).width * t->FontSize / 1000.0;
        o.Corners = textBox(o.Corners[0], static_cast<float>(w), t->FontSize, t->Angle);
    }
    d.TextHeight = savedHeight;
    d.TextFace = savedFace;
}

MapReadResult LoadMapForViewing(TKorvane& map, const std::string& path) {
    map.FileName(path.substr(0, 255));
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return {};
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
