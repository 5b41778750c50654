#pragma once
// TMyImage: a double-buffered control. Everything is drawn into a back buffer owned by the
// core; a paint only copies it to the window, so nothing flickers and no background is erased.

#include "image/image.h"

#include <QWidget>

namespace kestrum::qt {

class TMyImage : public QWidget {
  public:
    explicit TMyImage(QWidget* parent = nullptr);

  protected:
    // The picture to show; subclasses bring it up to date first.
    virtual const TImage& picture() { return m_buffer; }
    // Drawn on the window after the picture.
    virtual void paintOverlays(QPainter&) {}
    void paintEvent(QPaintEvent* event) override;
    // The control wants every key, Tab included, rather than handing focus on.
    bool focusNextPrevChild(bool) override { return false; }

    TImage m_buffer;
};

} // namespace kestrum::qt
