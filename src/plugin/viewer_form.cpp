#include "viewer_form.h"

#include "balloon.h"
#include "notice_bar.h"
#include "interact/text_search.h"
#include "io/byte_source.h"
#include "wlx_abi.h"
#include "open_viewer.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QCursor>
#include <QDateTime>
#include <QKeyEvent>
#include <QProgressBar>
#include <QResizeEvent>
#include <QTimer>
#include <QWheelEvent>

#include <cstdlib>

namespace kestrum::plugin {

TfmMain::TfmMain(QWidget* parent) : QWidget(parent), m_mapWidget(new qt::KorvaneWidget(this)) {
    setWindowTitle(QStringLiteral("Korvane Viewer plugin"));
    Clock = [] { return QDateTime::currentMSecsSinceEpoch(); };
    m_balloon = std::make_unique<AddressBalloon>(this);
    CreateKestrum();
}

TfmMain::~TfmMain() {
    if (OnClose) {
        auto close = std::move(OnClose);
        OnClose = nullptr;
        close();
    }
}

void TfmMain::CreateKestrum() {
    TKorvane& map = Korvane();
    ApplyViewerSetup(map);
    InstallViewerHooks(map, m_hooks);
    map.OnMouseDown = [this](TKorvane&, TMouseButton b, TShiftState, int x, int y) { KorvaneMouseDown(b, x, y); };
    map.OnMouseUp = [this](TKorvane&, TMouseButton, TShiftState, int, int) { Panel1MouseUp(); };
    map.OnProgress = [this](TKorvane&, int position) { KorvaneProgress(position); };
    m_mapWidget->OnKeyDown = [this](QKeyEvent* e) { KeyDown(e); };
    m_mapWidget->OnKeyUp = [this](QKeyEvent* e) { KeyUp(e); };
    m_mapWidget->OnWheel = [this](QWheelEvent* e) { Wheel(e); };
    m_mapWidget->OnFailure = [this](const char* what) { ReportFailure(what); };
    m_mapWidget->setGeometry(rect());
}

void TfmMain::ReportFailure(const char* what) {
    // Shown after the failing handler has unwound, and one at a time: a failing paint would
    // otherwise stack a box per repaint the first box causes.
    if (m_reportingFailure) return;
    m_reportingFailure = true;
    QMetaObject::invokeMethod(
        this,
        [this, text = QStringLiteral("Plugin Error:\r") + QString::fromUtf8(what)] {
            ShowMessage(this, text);
            m_reportingFailure = false;
        },
        Qt::QueuedConnection);
}

bool TfmMain::event(QEvent* e) {
    try {
        return QWidget::event(e);
    } catch (const std::exception& x) {
        ReportFailure(x.what());
    } catch (...) {
        ReportFailure("unknown failure");
    }
    return true;
}

void TfmMain::resizeEvent(QResizeEvent* e) {
    m_mapWidget->setGeometry(QRect(QPoint(0, 0), e->size()));
    placeNotice();
    QWidget::resizeEvent(e);
}

QImage TfmMain::ViewPicture() {
    TKorvane& map = Korvane();
    const TImage& img = map.PreparePaint();
    return QImage(reinterpret_cast<const uchar*>(img.data()), img.width(), img.height(), img.width() * 4,
                  QImage::Format_RGB32)
        .copy();
}

void TfmMain::CopyToClipboard() {
    auto* mime = new QMimeData;
    mime->setImageData(ViewPicture());
    if (m_balloon->isVisible()) mime->setText(m_balloon->text());
    QGuiApplication::clipboard()->setMimeData(mime);
}

void TfmMain::ApplyParams(int params) {
    if (params & lcp_fittowindow) m_mapWidget->FitWholeMap();
}

void TfmMain::StartNewFile() {
    m_match = -1;
    Korvane().BlinkList.clear();
    if (m_blinkEnd) m_blinkEnd->stop();
}

bool TfmMain::SearchText(const QString& text, int flags) {
    TKorvane& map = Korvane();
    TextSearchOptions options;
    options.matchCase = flags & lcs_matchcase;
    options.backwards = flags & lcs_backwards;
    options.fromStart = flags & lcs_findfirst;
    const QByteArray needle = text.toUtf8();
    const auto found = FindText(map.Document(), std::string_view(needle.constData(), std::size_t(needle.size())),
                                m_match, options);
    if (!found) return false;
    m_match = found->index;
    const TMapRect& b = found->box;
    // Readable: the whole object in half the window if it is big, otherwise no further out than
    // where house numbers show (twice their threshold), and never closer in than needed.
    const double w = std::max(double(b.MaxX - b.MinX), 1e-3), h = std::max(double(b.MaxY - b.MinY), 1e-3);
    const double fits = std::min(map.Width() * 50.0 / w, map.Height() * 50.0 / h);
    const double readable = std::max(map.Scale(), 2 * map.Options.MinScaleAddress());
    const double scale = TKorvane::SaneScale(std::min(fits, readable));
    map.ZoomAt((b.MinX + b.MaxX) / 2, (b.MinY + b.MaxY) / 2, scale);
    map.BlinkList = {found->index};
    if (!m_blinkEnd) {
        m_blinkEnd = new QTimer(this);
        m_blinkEnd->setSingleShot(true);
        connect(m_blinkEnd, &QTimer::timeout, this, [this] {
            Korvane().BlinkList.clear();
            Korvane().NeedsFullRedraw = true;
            Korvane().RebuildBuffer();
            m_mapWidget->update();
        });
    }
    m_blinkEnd->start(6 * Korvane().TimerInterval);
    return true;
}

void TfmMain::ShowNotice(const QString& text) {
    if (text.isEmpty()) {
        if (m_notice) m_notice->hide();
        return;
    }
    if (!m_notice) m_notice = new NoticeBar(this);
    m_notice->setText(text);
    placeNotice();
    m_notice->show();
    m_notice->raise();
}

const QWidget* TfmMain::Notice() const { return m_notice; }

void TfmMain::placeNotice() {
    // Over the map rather than beside it: the map keeps its size, so a notice never changes the view.
    if (m_notice) m_notice->setGeometry(0, 0, width(), m_notice->sizeHint().height());
}

void TfmMain::closeEvent(QCloseEvent* e) {
    m_balloon->hide();
    QWidget::closeEvent(e);
}

MapReadResult TfmMain::LoadFromFile1(const std::string& path) {
    try {
        return LoadMapForViewing(Korvane(), path);
    } catch (const std::exception& e) {
        // The view shows what could be read; nothing of a damaged file reaches the host.
        Korvane().EndUpdate();
        MapReadResult r;
        r.damage = ReadDiagnostic{0, e.what()};
        return r;
    } catch (...) {
        Korvane().EndUpdate();
        MapReadResult r;
        r.damage = ReadDiagnostic{0, "unknown failure"};
        return r;
    }
}

void TfmMain::ChangeScaleM(double delta) {
    const int64_t now = Clock();
    if (now <= m_lastZoom) return;
    TKorvane& map = Korvane();
    map.BeginUpdate();
    const TPoint mouse = map.MouseClient();
    float mx = float(mouse.X), my = float(mouse.Y);
    map.View().ScreenToMap(mx, my);
    map.SetScale(map.Scale() + delta);
    float nx = float(mouse.X), ny = float(mouse.Y);
    map.View().ScreenToMap(nx, ny);
    map.SetXWind(map.XWind() + (mx - nx));
    map.SetYWind(map.YWind() + (my - ny));
    map.EndUpdate();
    m_lastZoom = now;
}

void TfmMain::Wheel(QWheelEvent* e) {
    // The position under the wheel is the point that stays in place.
    const QPoint pos = e->position().toPoint();
    Korvane().MouseMove({}, pos.x(), pos.y());
    // A notch is 120; touchpads and fine wheels send it in slices, and a step per slice would
    // fly to the ends of the scale. A turn the other way starts afresh.
    const int delta = e->angleDelta().y();
    e->accept();
    if (delta == 0) return;
    if ((delta > 0) != (m_wheelDelta > 0)) m_wheelDelta = 0;
    m_wheelDelta += delta;
    if (std::abs(m_wheelDelta) < 120) return;
    const bool in = m_wheelDelta > 0;
    m_wheelDelta %= 120;
    ChangeScaleM(ZoomStep(Korvane().Scale(), in));
}

double TfmMain::ZoomStep(double scale, bool in) {
    // In by a third, out by a quarter: one notch each way comes back to the same scale.
    return in ? scale / 3 : -scale / 4;
}

void TfmMain::KeyDown(QKeyEvent* e) {
    TKorvane& map = Korvane();
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        // Esc closes the viewer window we fill; in a quick-view panel the window around us is the
        // file manager's main window, which must stay: there Esc goes to the host. Alone, we close.
        QWidget* host = parentWidget();
        QWidget* top = window();
        const bool ownWindow = top != this && width() * 10 >= top->width() * 9 &&
                               !top->windowTitle().startsWith(QStringLiteral("Double Commander"));
        if (!host) {
            QMetaObject::invokeMethod(this, "close", Qt::QueuedConnection);
        } else if (ownWindow) {
            QMetaObject::invokeMethod(top, "close", Qt::QueuedConnection);
        } else if (!m_handingEscUp) {
            m_handingEscUp = true;
            QKeyEvent copy(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(host, &copy);
            m_handingEscUp = false;
        }
        return;
    }
    if (e->key() == Qt::Key_Shift) {
        if (map.Instrument() != iDragMap) map.Instrument(iDragMap);
        return;
    }
    if (e->key() == Qt::Key_Control) {
        if (map.Instrument() != iLinza) map.Instrument(iLinza);
        return;
    }
    map.Instrument(iNone);
    switch (e->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: // "+" without Shift on most layouts
    case Qt::Key_Minus: {
        const bool in = e->key() != Qt::Key_Minus;
        map.SetScale(map.Scale() + ZoomStep(map.Scale(), in)); // the centre stays
        return;
    }
    case Qt::Key_Home:
    case Qt::Key_Asterisk:
        m_mapWidget->FitWholeMap();
        return;
    default:
        break;
    }
    map.BeginUpdate();
    switch (e->key()) {
    case Qt::Key_Left:
        map.SetXWind(map.XWind() - map.ViewWidth() / 5);
        break;
    case Qt::Key_Right:
        map.SetXWind(map.XWind() + map.ViewWidth() / 5);
        break;
    case Qt::Key_Up:
        map.SetYWind(map.YWind() - map.ViewHeight() / 5);
        break;
    case Qt::Key_Down:
        map.SetYWind(map.YWind() + map.ViewHeight() / 5);
        break;
    default:
        e->ignore();
        break;
    }
    map.SetScale(map.Scale());
    map.EndUpdate();
}

void TfmMain::KeyUp(QKeyEvent*) { Korvane().Instrument(iNone); }

void TfmMain::KorvaneProgress(int position) {
    if (!m_progress || position - m_progress->value() < 5) return;
    m_progress->setValue(position);
    QCoreApplication::processEvents();
}

std::string TfmMain::GetAdres() {
    TKorvane& map = Korvane();
    return AddressText(map.AddressAt(map.MouseWorld()));
}

void TfmMain::KorvaneMouseDown(TMouseButton button, int x, int y) {
    TKorvane& map = Korvane();
    const int z = map.Options.ZoneScroll();
    if (button != mbLeft || map.Instrument() != iNone) return;
    if (x < z || y < z || x > map.Width() - z || y > map.Height() - z) return; // a press there scrolls
    // The search runs at the pressed point: the component records it after this handler.
    float wx = float(x), wy = float(y);
    map.View().ScreenToMap(wx, wy);
    const std::string text = BalloonText(AddressText(map.AddressAt({wx, wy})));
    if (text.empty() || text == "\n") return;
    const std::string utf8 = toUtf8(map.Document().codePage, text);
    QString shown = QString::fromUtf8(utf8.data(), int(utf8.size()));
    while (shown.endsWith(QLatin1Char('\n'))) shown.chop(1);
    m_balloon->showAt(m_mapWidget->mapToGlobal(QPoint(x, y)), QStringLiteral("Объект"), shown);
}

void TfmMain::Panel1MouseUp() { m_balloon->hide(); }

} // namespace kestrum::plugin
