#include "notice_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace kestrum::plugin {

NoticeBar::NoticeBar(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("kestrumNotice"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xFF, 0xF4, 0xC8));
    pal.setColor(QPalette::WindowText, QColor(0x40, 0x30, 0x00));
    setPalette(pal);
    setFrameShape(QFrame::StyledPanel);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 2, 2, 2);
    m_text = new QLabel(this);
    m_close = new QToolButton(this);
    m_close->setText(QStringLiteral("×"));
    m_close->setAutoRaise(true);
    m_close->setToolTip(QStringLiteral("Закрыть"));
    // Keys stay with the map: the bar is only clicked.
    m_close->setFocusPolicy(Qt::NoFocus);
    row->addWidget(m_text, 1);
    row->addWidget(m_close);
    connect(m_close, &QToolButton::clicked, this, &QWidget::hide);
    hide();
}

void NoticeBar::setText(const QString& text) { m_text->setText(text); }

QString NoticeBar::text() const { return m_text->text(); }

} // namespace kestrum::plugin
