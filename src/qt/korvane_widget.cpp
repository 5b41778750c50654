#include "korvane_widget.h"

#include <QResizeEvent>

namespace kestrum::qt {

KorvaneWidget::KorvaneWidget(QWidget* parent) : TMyImage(parent) {
    auto draw = std::make_unique<QtDrawObject>();
    m_draw = draw.get();
    m_draw->ScreenDpi = logicalDpiY();
    m_windowDraw.ScreenDpi = logicalDpiY();
    m_map.SetTextMeasurer(&m_measurer);
    m_map.SetImageDecoder(&m_decoder);
    m_map.SetDrawObject(std::move(draw));
    m_map.SetHost(this);
    m_map.SetClientSize(width(), height());
    m_blink.setInterval(m_map.TimerInterval);
    QObject::connect(&m_blink, &QTimer::timeout, [this] { m_map.BlinkTimerTick(); });
    m_blink.start();
}

KorvaneWidget::~KorvaneWidget() {
    m_blink.stop();
    m_map.SetHost(nullptr);
}

void KorvaneWidget::paintOverlays(QPainter& painter) {
    m_windowDraw.bindPainter(&painter);
    m_map.PaintOverlays(m_windowDraw);
    m_windowDraw.bindPainter(nullptr);
}

void KorvaneWidget::resizeEvent(QResizeEvent* event) {
    m_map.SetClientSize(event->size().width(), event->size().height());
    TMyImage::resizeEvent(event);
}

} // namespace kestrum::qt
