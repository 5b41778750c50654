#pragma once
// A slim line over the top of the map with a short message and a close button: how the viewer
// says that a file was read only in part, without a box the user must answer.

#include <QFrame>

class QLabel;
class QToolButton;

namespace kestrum::plugin {

class NoticeBar : public QFrame {
  public:
    explicit NoticeBar(QWidget* parent);
    void setText(const QString& text);
    QString text() const;
    QToolButton* closeButton() const { return m_close; }

  private:
    QLabel* m_text;
    QToolButton* m_close;
};

} // namespace kestrum::plugin
