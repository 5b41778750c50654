#include "balloon.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace kestrum::plugin {

namespace {
constexpr int kTail = 12;       // height of the pointer below the body
constexpr int kPreferredWidth = 500;
} // namespace

AddressBalloon::AddressBalloon(QWidget* owner) : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 8, 12, 8 + kTail);
    m_icon = new QLabel(this);
    m_icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(24, 24));
    m_title = new QLabel(this);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_text = new QLabel(this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(false);
    m_text->setMaximumWidth(kPreferredWidth);
    grid->addWidget(m_icon, 0, 0, Qt::AlignTop);
    grid->addWidget(m_title, 0, 1);
    grid->addWidget(m_text, 1, 1);
}

void AddressBalloon::showAt(const QPoint& globalPos, const QString& title, const QString& text) {
    m_title->setText(title);
    m_text->setText(text);
    // Lines longer than the preferred width wrap at it; shorter texts keep their own width
    // (a wrapping label left to itself would pick a narrower one).
    int widest = 0;
    const QFontMetrics metrics(m_text->font());
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const bool wrap = widest > kPreferredWidth;
    m_text->setWordWrap(wrap);
    if (wrap) {
        m_text->setFixedWidth(kPreferredWidth);
    } else {
        m_text->setMinimumWidth(0);
        m_text->setMaximumWidth(kPreferredWidth);
    }
    adjustSize();
    // The tail points at the cursor from above it; near the screen's top edge it stays on screen.
    QPoint topLeft = globalPos - QPoint(24, height());
    if (const QScreen* screen = QGuiApplication::screenAt(globalPos)) {
        const QRect r = screen->availableGeometry();
        topLeft.setX(std::clamp(topLeft.x(), r.left(), std::max(r.left(), r.right() - width())));
        topLeft.setY(std::max(topLeft.y(), r.top()));
    }
    move(topLeft);
    show();
    raise();
}

QString AddressBalloon::title() const { return m_title->text(); }
QString AddressBalloon::text() const { return m_text->text(); }

void AddressBalloon::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(0.5, 0.5, width() - 1.0, height() - kTail - 1.0);
    QPainterPath path;
    path.addRoundedRect(body, 6, 6);
    QPainterPath tail;
    tail.moveTo(16, body.bottom() - 1);
    tail.lineTo(24, height() - 1.0);
    tail.lineTo(34, body.bottom() - 1);
    tail.closeSubpath();
    path = path.united(tail);
    p.setPen(QPen(QColor(118, 118, 118), 1));
    p.setBrush(QColor(255, 255, 225));
    p.drawPath(path);
}

} // namespace kestrum::plugin
