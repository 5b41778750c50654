#include "progress_window.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QProgressBar>
#include <QScreen>

namespace kestrum::plugin {

ProgressWindow::ProgressWindow(QWidget* owner, bool* cancel)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint), m_cancel(cancel) {
    setWindowTitle(QStringLiteral("Загружается ..."));
    setFixedSize(458, 51);
    m_bar = new QProgressBar(this);
    m_bar->setGeometry(16, 16, 425, 17);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    setFocusPolicy(Qt::StrongFocus);
    // The load lets events through to keep this window alive; input must not reach the host
    // meanwhile, or it could close the panel the map is being loaded into, or load another.
    setWindowModality(Qt::ApplicationModal);
}

void ProgressWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        *m_cancel = true;
        return;
    }
    QWidget::keyPressEvent(e);
}

} // namespace kestrum::plugin
