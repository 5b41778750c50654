#pragma once
// The map component in a window: TKorvane's host on Qt. Input handling for the viewer builds
// on this class.

#include "component/korvane.h"
#include "my_image.h"
#include "qt_draw_object.h"
#include "qt_image_decoder.h"
#include "qt_text_measurer.h"

#include <QPointer>
#include <QTimer>

#include <functional>

class QKeyEvent;
class QMessageBox;
class QWheelEvent;

namespace kestrum::qt {

class KorvaneWidget : public TMyImage, public TKorvaneHost {
  public:
    explicit KorvaneWidget(QWidget* parent = nullptr);
    ~KorvaneWidget() override;

    TKorvane& map() { return m_map; }

    void Repaint() override { update(); }
    void SetCursor(int cursor) override;
    void StartRepeat(TRepeat kind, int ms) override;
    void StopRepeat(TRepeat kind) override;
    void TakeFocus() override { setFocus(Qt::MouseFocusReason); }

    // Fits the whole map into the window and keeps it fitted as the window is resized, until the
    // view is zoomed or panned: a host sizes its window after the load, and the user expects to
    // see the whole map at whatever size the window finally has. After that a resize keeps the
    // view's top-left.
    void FitWholeMap();
    // The view is the whole map fitted already (as a load leaves it): keep it so.
    void KeepFittedOnResize();
    void KeepViewOnResize() { m_fitted = false; }
    bool FitsOnResize() const { return m_fitted; }

    // Keyboard and wheel go to these first (the viewer's handlers); unset, they are ignored.
    std::function<void(QKeyEvent*)> OnKeyDown, OnKeyUp;
    std::function<void(QWheelEvent*)> OnWheel;
    // A failure in any handler of this window ends here instead of in the host's event loop,
    // which would take the host down; the window stays open. Unset, it is dropped.
    std::function<void(const char* what)> OnFailure;

  protected:
    bool event(QEvent* event) override;
    const TImage& picture() override { return m_map.PreparePaint(); }
    void paintOverlays(QPainter& painter) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    void enterEvent(QEnterEvent* event) override;
#else
    void enterEvent(QEvent* event) override;
#endif
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    // The map's OnErrorMessage: a box over the map's window, opened from the event loop.
    void ShowErrorMessage(const std::string& text);
    void OpenErrorBox(const QString& text);

    QtTextMeasurer m_measurer;
    QtImageDecoder m_decoder;
    TKorvane m_map;
    QtDrawObject* m_draw = nullptr; // owned by the map
    QtDrawObject m_windowDraw;
    QTimer m_blink;
    QTimer m_autoScroll;
    QTimer m_middlePan;
    bool m_fitted = false;
    double m_fitScale = 0;
    float m_fitX = 0, m_fitY = 0;
    QPointer<QMessageBox> m_errorBox; // the one shown now, if any
};

} // namespace kestrum::qt
