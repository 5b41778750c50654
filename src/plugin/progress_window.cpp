#include "progress_window.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QProgressBar>
#include <QScreen>

namespace kestrum::plugin {

ProgressWindow::ProgressWindow(QWidget* owner, bool* cancel)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus), m_cancel(cancel) {
    setWindowTitle(QStringLiteral("Загружается ..."));
    setFixedSize(458, 51);
    m_bar = new QProgressBar(this);
    m_bar->setGeometry(16, 16, 425, 17);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    // The window must not take the activation: when it goes, the toolkit does not always hand it
    // back, and the viewer would then get no keys (seen in the lister after loading the next
    // file). So the keys stay where they were, and a filter on the whole application takes Esc
    // and keeps all other input from the host meanwhile: the load lets events through, and a key
    // or click could close the panel the map is being loaded into, or load another.
    setAttribute(Qt::WA_ShowWithoutActivating);
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

ProgressWindow::~ProgressWindow() {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

void ProgressWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        *m_cancel = true;
        return;
    }
    QWidget::keyPressEvent(e);
}

bool ProgressWindow::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) *m_cancel = true;
        return true;
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::Close:
        return watched != this;
    default:
        return false;
    }
}

} // namespace kestrum::plugin
