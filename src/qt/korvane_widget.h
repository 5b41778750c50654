#pragma once
// The map component in a window: TKorvane's host on Qt. Input handling for the viewer builds
// on this class.

#include "component/korvane.h"
#include "my_image.h"
#include "qt_draw_object.h"
#include "qt_image_decoder.h"
#include "qt_text_measurer.h"

#include <QTimer>

namespace kestrum::qt {

class KorvaneWidget : public TMyImage, public TKorvaneHost {
  public:
    explicit KorvaneWidget(QWidget* parent = nullptr);
    ~KorvaneWidget() override;

    TKorvane& map() { return m_map; }

    void Repaint() override { update(); }

  protected:
    const TImage& picture() override { return m_map.PreparePaint(); }
    void paintOverlays(QPainter& painter) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QtTextMeasurer m_measurer;
    QtImageDecoder m_decoder;
    TKorvane m_map;
    QtDrawObject* m_draw = nullptr; // owned by the map
    QtDrawObject m_windowDraw;
    QTimer m_blink;
};

} // namespace kestrum::qt
