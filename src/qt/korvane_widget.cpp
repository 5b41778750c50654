#include "korvane_widget.h"

#include "cursors.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QWheelEvent>

#include <cmath>
#include <exception>

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
    QObject::connect(&m_autoScroll, &QTimer::timeout, [this] { m_map.RepeatTick(TRepeat::AutoScroll); });
    QObject::connect(&m_middlePan, &QTimer::timeout, [this] { m_map.RepeatTick(TRepeat::MiddlePan); });
    m_map.OnErrorMessage = [this](const std::string& text) { ShowErrorMessage(text); };
    setMouseTracking(true);
}

void KorvaneWidget::ShowErrorMessage(const std::string& text) {
    // The message may come from inside a paint or a mouse handler of the map: the box is put up
    // once control is back in the event loop, and it is modeless, so neither the handler nor
    // the host (whose window holds the map inside the plug-in) waits for the user or loses its
    // input. A box still pending when the widget goes is dropped with it.
    QMetaObject::invokeMethod(
        this, [this, message = QString::fromUtf8(text.data(), int(text.size()))] { OpenErrorBox(message); },
        Qt::QueuedConnection);
}

void KorvaneWidget::OpenErrorBox(const QString& text) {
    if (m_errorBox) {
        // One box at a time: a repeated action adds its message once rather than a pile of boxes.
        if (!m_errorBox->text().split(QLatin1Char('\n')).contains(text))
            m_errorBox->setText(m_errorBox->text() + QLatin1Char('\n') + text);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Ошибка"), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    m_errorBox = box;
    box->show();
}

namespace {

TMouseButton buttonOf(Qt::MouseButton b) {
    return b == Qt::RightButton ? mbRight : b == Qt::MiddleButton ? mbMiddle : mbLeft;
}

TShiftState shiftOf(Qt::KeyboardModifiers m) {
    return {m.testFlag(Qt::ShiftModifier), m.testFlag(Qt::ControlModifier), m.testFlag(Qt::AltModifier)};
}

} // namespace

void KorvaneWidget::SetCursor(int cursor) { setCursor(cursorFor(cursor)); }

void KorvaneWidget::StartRepeat(TRepeat kind, int ms) {
    QTimer& t = kind == TRepeat::AutoScroll ? m_autoScroll : m_middlePan;
    t.start(ms);
}

void KorvaneWidget::StopRepeat(TRepeat kind) {
    (kind == TRepeat::AutoScroll ? m_autoScroll : m_middlePan).stop();
}

bool KorvaneWidget::event(QEvent* e) {
    try {
        return TMyImage::event(e);
    } catch (const std::exception& x) {
        if (OnFailure) OnFailure(x.what());
    } catch (...) {
        if (OnFailure) OnFailure("unknown failure");
    }
    return true;
}

void KorvaneWidget::mousePressEvent(QMouseEvent* e) {
    m_map.MouseDown(buttonOf(e->button()), shiftOf(e->modifiers()), e->pos().x(), e->pos().y());
}

void KorvaneWidget::mouseMoveEvent(QMouseEvent* e) {
    m_map.MouseMove(shiftOf(e->modifiers()), e->pos().x(), e->pos().y());
}

void KorvaneWidget::mouseReleaseEvent(QMouseEvent* e) {
    m_map.MouseUp(buttonOf(e->button()), shiftOf(e->modifiers()), e->pos().x(), e->pos().y());
}

void KorvaneWidget::mouseDoubleClickEvent(QMouseEvent* e) {
    // The toolkit reports a double click instead of the second press: both are wanted.
    m_map.DblClick();
    mousePressEvent(e);
}

void KorvaneWidget::leaveEvent(QEvent* e) {
    m_map.MouseLeave();
    TMyImage::leaveEvent(e);
}

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
void KorvaneWidget::enterEvent(QEnterEvent* e) {
#else
void KorvaneWidget::enterEvent(QEvent* e) {
#endif
    if (m_map.OnMouseEnter) m_map.OnMouseEnter(m_map);
    TMyImage::enterEvent(e);
}

void KorvaneWidget::wheelEvent(QWheelEvent* e) {
    if (OnWheel) OnWheel(e);
    else e->ignore();
}

void KorvaneWidget::keyPressEvent(QKeyEvent* e) {
    if (OnKeyDown) OnKeyDown(e);
    else TMyImage::keyPressEvent(e);
}

void KorvaneWidget::keyReleaseEvent(QKeyEvent* e) {
    if (OnKeyUp) OnKeyUp(e);
    else TMyImage::keyReleaseEvent(e);
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

void KorvaneWidget::FitWholeMap() {
    if (!m_map.Objects().empty()) m_map.ZoomToMap();
    KeepFittedOnResize();
}

void KorvaneWidget::KeepFittedOnResize() {
    m_fitted = true;
    m_fitScale = m_map.Scale();
    m_fitX = m_map.XWind();
    m_fitY = m_map.YWind();
}

void KorvaneWidget::resizeEvent(QResizeEvent* event) {
    m_map.SetClientSize(event->size().width(), event->size().height());
    if (m_fitted) {
        // Still the fitted view? Redraws recentre in floats, which may move it by a hair: half
        // a pixel counts as not moved.
        const double k = m_map.ScaleFactor();
        const bool moved = std::abs(m_map.Scale() - m_fitScale) > 1e-9 * m_fitScale ||
                           std::abs(double(m_map.XWind() - m_fitX)) * k > 0.5 ||
                           std::abs(double(m_map.YWind() - m_fitY)) * k > 0.5;
        if (moved) m_fitted = false;
        else FitWholeMap();
    }
    TMyImage::resizeEvent(event);
}

} // namespace kestrum::qt
