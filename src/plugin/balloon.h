#pragma once
// A balloon hint: an information icon, a bold title and a few lines of text, pointing at a spot
// on the screen. One at a time; hidden on demand.

#include <QWidget>

class QLabel;

namespace kestrum::plugin {

class AddressBalloon : public QWidget {
  public:
    explicit AddressBalloon(QWidget* owner);

    void showAt(const QPoint& globalPos, const QString& title, const QString& text);
    QString title() const;
    QString text() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QLabel* m_icon;
    QLabel* m_title;
    QLabel* m_text;
};

} // namespace kestrum::plugin
