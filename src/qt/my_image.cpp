#include "my_image.h"

#include "qt_draw_object.h"

#include <QPaintEvent>
#include <QPainter>

namespace kestrum::qt {

TMyImage::TMyImage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    resize(305, 305);
}

void TMyImage::paintEvent(QPaintEvent* event) {
    const TImage& img = picture();
    QPainter p(this);
    const QImage view(reinterpret_cast<const uchar*>(img.data()), img.width(), img.height(), img.width() * 4,
                      QImage::Format_RGB32);
    const QRect r = event->rect();
    p.drawImage(r, view, r);
    paintOverlays(p);
}

} // namespace kestrum::qt
