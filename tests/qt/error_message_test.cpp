// The map's error messages reach the user of the Qt window: a modeless box over the map, put up
// from the event loop (never inside the paint or handler that raised it), one at a time.

#include "headless.h"
#include "korvane_widget.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <gtest/gtest.h>

#include <memory>

using namespace kestrum;

namespace {

const QString kNoObject = QStringLiteral("Ошибка ! Нет объекта в буфере редактирования !");

QList<QMessageBox*> boxesOf(const QWidget& w) { return w.findChildren<QMessageBox*>(); }

} // namespace

TEST(ErrorMessage, ShownAsOneModelessBoxOverTheMapAfterTheHandlerReturns) {
    static const auto app = qt::makeHeadlessApplication();
    QWidget window;
    auto* widget = new qt::KorvaneWidget(&window);
    window.resize(200, 150);
    window.show();

    EXPECT_FALSE(widget->map().PostBuffer()); // the buffer holds nothing: the map's own error
    EXPECT_TRUE(boxesOf(*widget).isEmpty()) << "shown inside the action that raised it";
    QCoreApplication::processEvents();
    ASSERT_EQ(boxesOf(*widget).size(), 1);
    QPointer<QMessageBox> box = boxesOf(*widget).front();
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), kNoObject);
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    // The host keeps its input: nothing modal is put over the window that holds the map.
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    EXPECT_EQ(box->parentWidget(), widget);

    // The same failure again while the box is up adds nothing; another message is added to it.
    widget->map().PostBuffer();
    QCoreApplication::processEvents();
    ASSERT_EQ(boxesOf(*widget).size(), 1);
    EXPECT_EQ(box->text(), kNoObject);
    widget->map().OnErrorMessage("second");
    QCoreApplication::processEvents();
    ASSERT_EQ(boxesOf(*widget).size(), 1);
    EXPECT_EQ(box->text(), kNoObject + QStringLiteral("\nsecond"));

    // Answered, the box goes; the next message gets a box of its own.
    box->button(QMessageBox::Ok)->click();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(box.isNull());
    widget->map().PostBuffer();
    QCoreApplication::processEvents();
    ASSERT_EQ(boxesOf(*widget).size(), 1);
    EXPECT_EQ(boxesOf(*widget).front()->text(), kNoObject);
}

TEST(ErrorMessage, NeverDuringAPaintAndDroppedWithTheWidget) {
    static const auto app = qt::makeHeadlessApplication();
    auto window = std::make_unique<QWidget>();
    auto* widget = new qt::KorvaneWidget(window.get());
    window->resize(200, 150);
    window->show();
    QCoreApplication::processEvents();

    // A drawing hook that fails: the message is raised in the middle of a paint.
    int raised = 0;
    bool boxDuringPaint = false;
    widget->map().OnAfterRisovan = [&](TDrawObject&) {
        ++raised;
        widget->map().PostBuffer();
        boxDuringPaint = boxDuringPaint || !boxesOf(*widget).isEmpty();
    };
    widget->map().NeedsFullRedraw = true;
    widget->repaint();
    ASSERT_GT(raised, 0) << "the hook did not run: the test proves nothing";
    EXPECT_FALSE(boxDuringPaint);
    EXPECT_TRUE(boxesOf(*widget).isEmpty());
    widget->map().OnAfterRisovan = nullptr;
    QCoreApplication::processEvents();
    EXPECT_EQ(boxesOf(*widget).size(), 1);

    // A message still queued when the window closes is dropped, not shown over nothing.
    widget->map().OnErrorMessage("late");
    window.reset();
    QCoreApplication::processEvents();
    for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_EQ(qobject_cast<QMessageBox*>(w), nullptr);
}
