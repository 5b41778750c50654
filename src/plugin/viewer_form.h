#pragma once
// TfmMain: the viewer form shown in the file manager's lister. It holds the map widget and makes
// the general-purpose map component a read-only viewer: wheel zoom about the mouse, arrow-key
// panning, Shift to drag the map, Ctrl for the lens, an address balloon on click, progress
// while loading.

#include "component/viewer_setup.h"
#include "korvane_widget.h"

#include <QImage>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>

class QProgressBar;
class QLabel;
class QTimer;

namespace kestrum::plugin {

class AddressBalloon;
class NoticeBar;

class TfmMain : public QWidget {
  public:
    explicit TfmMain(QWidget* parent = nullptr);
    ~TfmMain() override;

    TKorvane& Korvane() { return m_mapWidget->map(); }
    qt::KorvaneWidget& MapWidget() { return *m_mapWidget; }

    // The ".MAP" load of the viewer; failures are swallowed, the map shows what was read.
    MapReadResult LoadFromFile1(const std::string& path);

    // The host's Find: the next object whose words hold `text` (flags as the host gives them,
    // lcs_*), centred at a scale its surroundings can be read at and blinking for a few seconds.
    // False when there is none; the view then stays.
    bool SearchText(const QString& text, int flags);
    int CurrentMatch() const { return m_match; }
    // Forgets what belonged to the file shown so far (the current match, the blinking).
    void StartNewFile();

    // The view as a picture on the clipboard, with the balloon's text when one is shown.
    void CopyToClipboard();
    // The picture of the current view, as the window shows it.
    QImage ViewPicture();
    // The host's new parameters (lcp_*): "fit to window" fits the whole map.
    void ApplyParams(int params);

    // A slim line across the top of the map that says what went wrong with the file, with a
    // close button; an empty text takes it away.
    void ShowNotice(const QString& text);
    const QWidget* Notice() const;

    // One zoom step of `delta` percent about the last mouse position. Steps that arrive within
    // one clock reading are dropped, so a burst of wheel notches zooms once.
    void ChangeScaleM(double delta);
    // The change of scale of one wheel notch or one "+"/"-" key.
    static double ZoomStep(double scale, bool in);
    // The clock of zoom steps, in milliseconds; tests set their own.
    std::function<int64_t()> Clock;

    // Progress of a load, in percent; moves the bar in steps of at least 5 and lets the
    // window system breathe so that the bar repaints and Esc arrives.
    void KorvaneProgress(int position);
    void SetProgressBar(QProgressBar* bar) { m_progress = bar; }

    // The text the balloon would show for the last mouse position (empty: none).
    std::string GetAdres();
    const AddressBalloon* Balloon() const { return m_balloon.get(); }

    // Called once when the view ends, whichever way (the host's close call or its destruction).
    std::function<void()> OnClose;

    // "Plugin Error:" and the failure, in a box over the form; the window stays open.
    void ReportFailure(const char* what);

  protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateKestrum();
    void KeyDown(QKeyEvent* e);
    void KeyUp(QKeyEvent* e);
    void Wheel(QWheelEvent* e);
    void KorvaneMouseDown(TMouseButton button, int x, int y);
    void Panel1MouseUp();

    qt::KorvaneWidget* m_mapWidget;
    std::unique_ptr<AddressBalloon> m_balloon;
    ViewerHooks m_hooks;
    QProgressBar* m_progress = nullptr;
    int64_t m_lastZoom = -1;
    NoticeBar* m_notice = nullptr;
    int m_match = -1;
    QTimer* m_blinkEnd = nullptr;
    void placeNotice();
    bool m_handingEscUp = false;
    int m_wheelDelta = 0; // eighths of a degree not yet turned into a zoom step
    bool m_reportingFailure = false;

  public:
    void StopFitOnResize() { m_mapWidget->KeepViewOnResize(); }
};

} // namespace kestrum::plugin
