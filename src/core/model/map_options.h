#pragma once
// Options of the map component and its stored printer settings.
//
// Each option is a getter/setter pair named as the option: `mpEdit()` reads, `mpEdit(true)`
// writes. Setters apply the option's clamp, store, and for the options that change what is drawn
// run the owner's options-changed step (only while the options are active, which they are not
// while the component is being built).

#include "model/types.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrum {

enum tMeasureType : uint8_t { qevMeasureLastSegment, qevMeasureAllSegments };
enum qevSmothing : uint8_t {
    qevSmoothingModeDefault,
    qevSmoothingModeHighSpeed,
    qevSmoothingModeHighQuality,
    qevSmoothingModeNone,
    qevSmoothingModeAntiAlias,
};
enum tQevCancelAction : uint8_t { qevRightButton, qevDblClick };

#define KESTRUM_OPTION(Type, Name, Initial, Changes)                                                   \
  public:                                                                                              \
    Type Name() const { return m_##Name; }                                                             \
    void Name(Type value) { assign(m_##Name, clamp_##Name(value), Changes); }                          \
                                                                                                       \
  private:                                                                                             \
    Type m_##Name = Initial;

class tQevMapOptions {
  public:
    enum Effect : bool { StoreOnly = false, Redraw = true };

    // The owner's options-changed step.
    std::function<void()> OnChanged;
    // Off while the owner sets its initial values.
    bool Active = false;

    // Clamps of the options that have one; the others pass values through.
    static int32_t clampNumberDomSize(int32_t v) { return v < 6 ? 6 : v; }
    static int32_t reduceAngle(int32_t v) { return v % 360; }
    static double clampStepLinza(double v) { return v < 0 || v >= 100 ? 50.0 : v; }

    KESTRUM_OPTION(bool, mpEdit, true, Redraw)
    KESTRUM_OPTION(bool, mpDelete, false, StoreOnly)
    KESTRUM_OPTION(bool, mpGrid, false, Redraw)
    KESTRUM_OPTION(bool, mpGuideLines, true, Redraw)
    KESTRUM_OPTION(bool, mpHint, false, StoreOnly)
    KESTRUM_OPTION(bool, mpLocked, false, StoreOnly)
    KESTRUM_OPTION(bool, mpNumberDom, false, Redraw)
    KESTRUM_OPTION(int32_t, mpNumberDomSizeFont, 8, Redraw)
    KESTRUM_OPTION(bool, mpNumberDomFill, true, Redraw)
    KESTRUM_OPTION(bool, mpNumberDomBold, false, Redraw)
    KESTRUM_OPTION(bool, mpNumberDomBorder, true, Redraw)
    KESTRUM_OPTION(int32_t, mpNumberDomBorderColor, 0xFFFFFF, Redraw)
    KESTRUM_OPTION(bool, mpLinzaDouble, false, StoreOnly)
    KESTRUM_OPTION(bool, mpAllMapAfterLoad, false, Redraw)
    KESTRUM_OPTION(bool, mpNoScroll, false, StoreOnly)
    KESTRUM_OPTION(float, mpLineWidthMin, 0.0001f, Redraw)
    KESTRUM_OPTION(bool, View3D, false, Redraw)
    KESTRUM_OPTION(int32_t, View3DAngle, 0, Redraw)
    KESTRUM_OPTION(float, MinScale3D, 299.0f, Redraw)
    KESTRUM_OPTION(double, MinScaleAddress, 299.0, Redraw)
    KESTRUM_OPTION(double, MinScaleIcon, 1.0, Redraw)
    KESTRUM_OPTION(int32_t, MeasureFontSize, 12, Redraw)
    KESTRUM_OPTION(tMeasureType, MeasureType, qevMeasureLastSegment, Redraw)
    KESTRUM_OPTION(bool, ShowMeasure, true, Redraw)
    KESTRUM_OPTION(bool, RefreshLink, false, StoreOnly)
    KESTRUM_OPTION(bool, Texture, false, Redraw)
    KESTRUM_OPTION(std::string, FontSystem, "Arial Cyr", Redraw)
    KESTRUM_OPTION(std::string, FontSystem1, "Times New Roman Cyr", Redraw)
    KESTRUM_OPTION(int32_t, ObjectView, 3, Redraw)
    KESTRUM_OPTION(int32_t, SizeRect, 4, Redraw)
    KESTRUM_OPTION(double, StepLinza, 50.0, StoreOnly)
    KESTRUM_OPTION(int32_t, WidthRectLinza, 3, StoreOnly)
    KESTRUM_OPTION(int32_t, StepScroll, 50, StoreOnly)
    KESTRUM_OPTION(int32_t, DelayScroll, 50, StoreOnly)
    KESTRUM_OPTION(int32_t, ZoneScroll, 30, StoreOnly)
    KESTRUM_OPTION(bool, MoveCell, false, StoreOnly)
    KESTRUM_OPTION(bool, BorderSelectedObject, true, StoreOnly)
    KESTRUM_OPTION(int32_t, UndoLevels, 20, StoreOnly)
    KESTRUM_OPTION(bool, ShowPointsObject, false, Redraw)
    KESTRUM_OPTION(bool, UseGDIPlus, false, Redraw)
    KESTRUM_OPTION(uint8_t, AlphaBlending, 255, Redraw)
    KESTRUM_OPTION(qevSmothing, AntiAliasing, qevSmoothingModeDefault, Redraw)
    KESTRUM_OPTION(bool, LockScrollOutMap, false, StoreOnly)
    KESTRUM_OPTION(bool, SystemPopUpMenu, true, StoreOnly)
    KESTRUM_OPTION(tQevCancelAction, CancelAction, qevRightButton, StoreOnly)
    KESTRUM_OPTION(int32_t, ZoneFindLine, 3, StoreOnly)
    KESTRUM_OPTION(bool, ShowRegion, true, StoreOnly)
    KESTRUM_OPTION(int32_t, BorderLeft, 0, StoreOnly)
    KESTRUM_OPTION(int32_t, BorderRight, 0, StoreOnly)
    KESTRUM_OPTION(int32_t, BorderTop, 0, StoreOnly)
    KESTRUM_OPTION(int32_t, BorderBottom, 0, StoreOnly)

  private:
    template <class T>
    void assign(T& field, T value, Effect effect) {
        field = std::move(value);
        if (effect == Redraw && Active && OnChanged) OnChanged();
    }
    // Pass-through for every option without a clamp of its own.
    template <class T>
    static T clampDefault(T v) { return v; }
#define KESTRUM_PASS(Type, Name)                                                                       \
    static Type clamp_##Name(Type v) { return clampDefault(std::move(v)); }
    KESTRUM_PASS(bool, mpEdit)
    KESTRUM_PASS(bool, mpDelete)
    KESTRUM_PASS(bool, mpGrid)
    KESTRUM_PASS(bool, mpGuideLines)
    KESTRUM_PASS(bool, mpHint)
    KESTRUM_PASS(bool, mpLocked)
    KESTRUM_PASS(bool, mpNumberDom)
    KESTRUM_PASS(bool, mpNumberDomFill)
    KESTRUM_PASS(bool, mpNumberDomBold)
    KESTRUM_PASS(bool, mpNumberDomBorder)
    KESTRUM_PASS(int32_t, mpNumberDomBorderColor)
    KESTRUM_PASS(bool, mpLinzaDouble)
    KESTRUM_PASS(bool, mpAllMapAfterLoad)
    KESTRUM_PASS(bool, mpNoScroll)
    KESTRUM_PASS(float, mpLineWidthMin)
    KESTRUM_PASS(bool, View3D)
    KESTRUM_PASS(float, MinScale3D)
    KESTRUM_PASS(double, MinScaleAddress)
    KESTRUM_PASS(double, MinScaleIcon)
    KESTRUM_PASS(int32_t, MeasureFontSize)
    KESTRUM_PASS(tMeasureType, MeasureType)
    KESTRUM_PASS(bool, ShowMeasure)
    KESTRUM_PASS(bool, RefreshLink)
    KESTRUM_PASS(bool, Texture)
    KESTRUM_PASS(std::string, FontSystem)
    KESTRUM_PASS(std::string, FontSystem1)
    KESTRUM_PASS(int32_t, ObjectView)
    KESTRUM_PASS(int32_t, SizeRect)
    KESTRUM_PASS(int32_t, WidthRectLinza)
    KESTRUM_PASS(int32_t, StepScroll)
    KESTRUM_PASS(int32_t, DelayScroll)
    KESTRUM_PASS(int32_t, ZoneScroll)
    KESTRUM_PASS(bool, MoveCell)
    KESTRUM_PASS(bool, BorderSelectedObject)
    KESTRUM_PASS(int32_t, UndoLevels)
    KESTRUM_PASS(bool, ShowPointsObject)
    KESTRUM_PASS(bool, UseGDIPlus)
    KESTRUM_PASS(uint8_t, AlphaBlending)
    KESTRUM_PASS(qevSmothing, AntiAliasing)
    KESTRUM_PASS(bool, LockScrollOutMap)
    KESTRUM_PASS(bool, SystemPopUpMenu)
    KESTRUM_PASS(tQevCancelAction, CancelAction)
    KESTRUM_PASS(bool, ShowRegion)
    KESTRUM_PASS(int32_t, BorderLeft)
    KESTRUM_PASS(int32_t, BorderRight)
    KESTRUM_PASS(int32_t, BorderTop)
    KESTRUM_PASS(int32_t, BorderBottom)
#undef KESTRUM_PASS
    static int32_t clamp_mpNumberDomSizeFont(int32_t v) { return clampNumberDomSize(v); }
    static int32_t clamp_View3DAngle(int32_t v) { return reduceAngle(v); }
    static double clamp_StepLinza(double v) { return clampStepLinza(v); }
    // A negative tolerance is ignored: keep the one in force.
    int32_t clamp_ZoneFindLine(int32_t v) const { return v < 0 ? m_ZoneFindLine : v; }
};

#undef KESTRUM_OPTION

enum TPrintRegion : uint8_t { CurrentEkran, AllMap };
enum tScalePrint : uint8_t { S_x1, S_Current, S_Custom };

struct TPrintFont {
    std::string Name = "Arial Cyr";
    int32_t Size = 11;
    int32_t Height = -15;
    int32_t Color = 0;
};

// Stored and exchanged only: this system prints nothing.
class tQevMapPrinterSettings {
  public:
    int32_t LeftMargin = 20, RightMargin = 10, TopMargin = 10, BottomMargin = 20;
    bool Border = true;
    float BorderWidth = 0.5f;
    int32_t BorderColor = 0;
    bool Title = true;
    TPrintFont TitleFont{"Arial Cyr", 13, -17, 0};
    bool ScaleBar = true;
    int32_t PaperColor = 0xFFFFFF;
    std::vector<uint8_t> PaperTexture;
    bool Grid = false;
    int32_t GridColor = 0;
    bool Mashtab = false;
    TPrintFont MashtabFont{"Arial Cyr", 11, -15, 0};
    TPrintRegion PrintRegion = CurrentEkran;
    tScalePrint MashtabPrint = S_x1;
    int32_t PageX = 0, PageY = 0;
    bool NumberDom = false;
    bool ConturOnly = false;
    bool ShowDialogPrint = true;
    double PixelSize = 0.2;

    int32_t CustomMashtab() const { return m_customMashtab; }
    // A new, non-negative value switches printing to the custom scale; others are ignored.
    void CustomMashtab(int32_t value) {
        if (value == m_customMashtab || value < 0) return;
        m_customMashtab = value;
        MashtabPrint = S_Custom;
    }

  private:
    int32_t m_customMashtab = 0;
};

} // namespace kestrum
