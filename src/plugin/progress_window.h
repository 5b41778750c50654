#pragma once
// The small window that shows a load's progress; Esc asks the importers to stop.

#include <QWidget>

class QProgressBar;

namespace kestrum::plugin {

class ProgressWindow : public QWidget {
  public:
    explicit ProgressWindow(QWidget* owner, bool* cancel);
    ~ProgressWindow() override;
    QProgressBar* bar() const { return m_bar; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QProgressBar* m_bar;
    bool* m_cancel;
};

} // namespace kestrum::plugin
