// The viewer as the user meets it: the plug-in's entry points in a real Qt application, and
// the viewer form's keys, wheel, balloon and progress.

#include "balloon.h"
#include "notice_bar.h"
#include "open_viewer.h"
#include "print_view.h"
#include "headless.h"
#include "progress_window.h"
#include "support/temp_dir.h"
#include "viewer_form.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QFile>
#include <QKeyEvent>
#include <QPrinter>
#include <QProgressBar>
#include <QToolButton>
#include <QWheelEvent>

#include <stdexcept>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <string>

using namespace kestrum;
using plugin::TfmMain;

namespace {

void app() {
    setenv("KESTRUM_NO_MESSAGE_BOXES", "1", 1);
    static const auto instance = qt::makeHeadlessApplication();
}

const std::string kSample = std::string(KESTRUM_DATA_DIR) + "/sample.map";

struct Plugin {
    void* handle = dlopen(KESTRUM_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    template <class F>
    F get(const char* name) const { return reinterpret_cast<F>(dlsym(handle, name)); }
};

using DetectFn = void (*)(char*, int);
using LoadFn = void* (*)(void*, char*, int);
using CloseFn = void (*)(void*);

std::unique_ptr<TfmMain> openForm(int w = 400, int h = 300) {
    app();
    auto form = std::make_unique<TfmMain>();
    form->resize(w, h);
    form->Korvane().SetClientSize(w, h);
    form->LoadFromFile1(kSample);
    form->StopFitOnResize();
    return form;
}

void key(QWidget& target, QEvent::Type type, int k) {
    QKeyEvent e(type, k, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &e);
}

} // namespace

TEST(PluginEntryPoints, DetectStringAndRefusals) {
    app();
    Plugin p;
    ASSERT_NE(p.handle, nullptr) << dlerror();
    auto detect = p.get<DetectFn>("ListGetDetectString");
    auto load = p.get<LoadFn>("ListLoad");
    auto close = p.get<CloseFn>("ListCloseWindow");
    ASSERT_TRUE(detect && load && close);
    char buf[64];
    std::memset(buf, 'x', sizeof buf);
    detect(buf, 64);
    EXPECT_STREQ(buf, "FORCE | EXT=\"MAP\"");
    std::memset(buf, 'x', sizeof buf);
    detect(buf, 5);
    EXPECT_STREQ(buf, "FORC"); // the zero byte stays inside the five bytes the host offers
    EXPECT_EQ(buf[5], 'x');

    QWidget parent;
    parent.resize(500, 400);
    std::string txt = "/tmp/notes.txt";
    EXPECT_EQ(load(&parent, txt.data(), 0), nullptr);
    EXPECT_TRUE(parent.findChildren<QWidget*>().isEmpty());
    std::string gone = "/nonexistent-folder/x/map.map";
    EXPECT_EQ(load(&parent, gone.data(), 0), nullptr);
}

TEST(PluginEntryPoints, OpensAndClosesWhicheverWayTheViewEnds) {
    app();
    Plugin p;
    auto load = p.get<LoadFn>("ListLoad");
    auto close = p.get<CloseFn>("ListCloseWindow");
    const test::TempDir dir;
    std::filesystem::copy_file(kSample, dir / "lower.map");
    std::string path = (dir / "lower.map").string();
    {
        QWidget parent;
        parent.resize(500, 400);
        void* win = load(&parent, path.data(), 0);
        ASSERT_NE(win, nullptr);
        EXPECT_EQ(static_cast<QWidget*>(win)->parentWidget(), &parent);
        close(win); // the host's close call
    }
    {
        auto* parent = new QWidget;
        parent->resize(500, 400);
        ASSERT_NE(load(parent, path.data(), 0), nullptr);
        delete parent; // the host destroys the window itself: the viewer goes with it, once
    }
}

TEST(ViewerForm, WheelZoomKeepsThePointUnderTheMouse) {
    auto form = openForm();
    TKorvane& map = form->Korvane();
    int64_t now = 1000;
    form->Clock = [&] { return now; };
    map.SetScale(300);
    map.MouseMove({}, 120, 80);
    float wx = 120, wy = 80;
    map.View().ScreenToMap(wx, wy);
    form->ChangeScaleM(map.Scale() / 3);
    EXPECT_DOUBLE_EQ(map.Scale(), 400);
    float ax = 120, ay = 80;
    map.View().ScreenToMap(ax, ay);
    EXPECT_NEAR(ax, wx, 0.01);
    EXPECT_NEAR(ay, wy, 0.01);
    form->ChangeScaleM(map.Scale() / 3); // the same clock reading: dropped
    EXPECT_DOUBLE_EQ(map.Scale(), 400);
    now += 1;
    QWheelEvent wheel(QPointF(120, 80), QPointF(120, 80), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&form->MapWidget(), &wheel);
    EXPECT_NEAR(map.Scale(), 300, 1e-9); // out by a quarter: back where the step in started

    // A fine wheel sends a notch in slices: one step for the whole notch, not one per slice.
    const double before = map.Scale();
    for (int i = 0; i < 8; ++i) {
        now += 1;
        QWheelEvent slice(QPointF(120, 80), QPointF(120, 80), QPoint(), QPoint(0, 15), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&form->MapWidget(), &slice);
        EXPECT_DOUBLE_EQ(map.Scale(), i < 7 ? before : before * 4 / 3) << i;
    }
    now += 1;
    QWheelEvent out(QPointF(120, 80), QPointF(120, 80), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&form->MapWidget(), &out);
    EXPECT_NEAR(map.Scale(), before, before * 1e-12);
}

TEST(ViewerForm, AFailingHandlerLeavesTheWindowOpenAndSaysSo) {
    auto form = openForm();
    form->Korvane().OnPaintObject = [](const TQEVMapObjectMem&, uint8_t&, TCanvasPen&, TCanvasBrush&) {
        throw std::runtime_error("hook failed");
    };
    form->show();
    QCoreApplication::processEvents();
    form->Korvane().NeedsFullRedraw = true;
    testing::internal::CaptureStderr();
    form->MapWidget().repaint(); // the throw ends in the widget, not in the event loop
    QCoreApplication::processEvents(); // the message comes after the handler has unwound
    const std::string said = testing::internal::GetCapturedStderr();
    form->Korvane().OnPaintObject = nullptr;
    EXPECT_NE(said.find("Plugin Error:\rhook failed"), std::string::npos) << said;
    EXPECT_TRUE(form->isVisible());
}

TEST(ViewerForm, KeysPanAndChooseTools) {
    auto form = openForm();
    TKorvane& map = form->Korvane();
    qt::KorvaneWidget& w = form->MapWidget();
    const float x0 = map.XWind(), y0 = map.YWind();
    key(w, QEvent::KeyPress, Qt::Key_Left);
    EXPECT_NEAR(map.XWind(), x0 - map.ViewWidth() / 5, 1e-2);
    key(w, QEvent::KeyPress, Qt::Key_Down);
    EXPECT_NEAR(map.YWind(), y0 + map.ViewHeight() / 5, 1e-2);
    key(w, QEvent::KeyPress, Qt::Key_Shift);
    EXPECT_EQ(map.Instrument(), iDragMap);
    key(w, QEvent::KeyRelease, Qt::Key_Shift);
    EXPECT_EQ(map.Instrument(), iNone);
    key(w, QEvent::KeyPress, Qt::Key_Control);
    EXPECT_EQ(map.Instrument(), iLinza);
    key(w, QEvent::KeyRelease, Qt::Key_Control);
    EXPECT_EQ(map.Instrument(), iNone);

    // Ctrl let go before the mouse button: the lens still zooms into its rectangle.
    key(w, QEvent::KeyPress, Qt::Key_Control);
    const double before = map.Scale();
    map.MouseDown(mbLeft, {}, 120, 100);
    map.MouseMove({}, 220, 160);
    key(w, QEvent::KeyRelease, Qt::Key_Control);
    map.MouseUp(mbLeft, {}, 220, 160);
    EXPECT_GT(map.Scale(), before * 2);
}

TEST(ViewerForm, PlusMinusZoomAboutTheCentreAndHomeFitsTheMap) {
    auto form = openForm();
    TKorvane& map = form->Korvane();
    qt::KorvaneWidget& w = form->MapWidget();
    const double fitted = map.Scale();
    const TMapPoint centre = map.ViewCenter();
    key(w, QEvent::KeyPress, Qt::Key_Plus);
    EXPECT_NEAR(map.Scale(), fitted * 4 / 3, fitted * 1e-9);
    const TMapPoint c1 = map.ViewCenter();
    EXPECT_NEAR(c1.X, centre.X, 0.01);
    EXPECT_NEAR(c1.Y, centre.Y, 0.01);
    key(w, QEvent::KeyPress, Qt::Key_Minus);
    EXPECT_NEAR(map.Scale(), fitted, fitted * 1e-9);
    key(w, QEvent::KeyPress, Qt::Key_Minus);
    key(w, QEvent::KeyPress, Qt::Key_Right);
    key(w, QEvent::KeyPress, Qt::Key_Home);
    EXPECT_NEAR(map.Scale(), fitted, fitted * 1e-6);
    key(w, QEvent::KeyPress, Qt::Key_Plus);
    key(w, QEvent::KeyPress, Qt::Key_Asterisk);
    EXPECT_NEAR(map.Scale(), fitted, fitted * 1e-6);
    EXPECT_NEAR(map.ViewCenter().X, centre.X, 0.5);
}

TEST(ViewerForm, BalloonShowsTheAddressOutsideTheScrollZones) {
    auto form = openForm(800, 600);
    TKorvane& map = form->Korvane();
    map.SetScale(100);
    map.SetXWind(0);
    map.SetYWind(100);
    // House "7" of Lesnaya street stands at world (230..270, 200..270): screen (230..270, 100..170).
    const TPoint house = map.View().toScreen({250, 240});
    map.MouseDown(mbLeft, {}, house.X, house.Y);
    ASSERT_TRUE(form->Balloon()->isVisible());
    EXPECT_EQ(form->Balloon()->title(), QStringLiteral("Объект"));
    EXPECT_TRUE(form->Balloon()->text().contains(QStringLiteral("ЛЕСНАЯ УЛИЦА\n7")));
    map.MouseUp(mbRight, {}, house.X, house.Y); // any release hides it
    EXPECT_FALSE(form->Balloon()->isVisible());

    // A note's long text wraps at the balloon's width instead of running off it.
    plugin::AddressBalloon note(form.get());
    note.showAt(QPoint(400, 400), QStringLiteral("Объект"), QStringLiteral("слово ").repeated(120));
    EXPECT_LT(note.width(), 600);
    EXPECT_GT(note.height(), 3 * note.fontMetrics().height());

    map.MouseDown(mbLeft, {}, 10, house.Y); // in the scroll zone: scrolls instead
    map.MouseUp(mbLeft, {}, 10, house.Y);
    EXPECT_FALSE(form->Balloon()->isVisible());
    map.MouseDown(mbRight, {}, house.X, house.Y);
    EXPECT_FALSE(form->Balloon()->isVisible());
    map.MouseUp(mbRight, {}, house.X, house.Y);
    map.Instrument(iDragMap);
    map.MouseDown(mbLeft, {}, house.X, house.Y);
    EXPECT_FALSE(form->Balloon()->isVisible());
}

TEST(ViewerForm, BalloonTextRules) {
    TFoundAddress a;
    a.found = a.hasAddress = true;
    a.adres = {"", "STREET", "5", "", ""};
    // Empty fields leave empty lines, squeezed pairwise in one pass.
    EXPECT_EQ(BalloonText(AddressText(a)), "\nSTREET\n5\n\n");
    TFoundAddress note;
    note.found = true;
    note.noteText = std::string("Post\0box", 8);
    EXPECT_EQ(BalloonText(AddressText(note)), "Post box");
    EXPECT_EQ(BalloonText("a\n\n\nb"), "a\n\nb");
    EXPECT_EQ(AddressText(TFoundAddress{}), "");
}

TEST(ViewerForm, ProgressMovesInStepsOfFiveAndEscCancels) {
    app();
    TfmMain form;
    QProgressBar bar;
    bar.setRange(0, 100);
    bar.setValue(0);
    form.SetProgressBar(&bar);
    for (auto [percent, shown] : {std::pair{3, 0}, {5, 5}, {9, 5}, {100, 100}}) {
        form.KorvaneProgress(percent);
        EXPECT_EQ(bar.value(), shown) << percent;
    }
    form.SetProgressBar(nullptr);

    bool cancel = false;
    plugin::ProgressWindow progress(nullptr, &cancel);
    key(progress, QEvent::KeyPress, Qt::Key_A);
    EXPECT_FALSE(cancel);
    key(progress, QEvent::KeyPress, Qt::Key_Escape);
    EXPECT_TRUE(cancel);
}

namespace {

using LoadNextFn = int (*)(void*, void*, char*, int);

// Scale and top-left of the whole map fitted into a window of w x h.
struct Fit {
    double scale;
    float x, y;
};
Fit fitAt(TKorvane& map, int w, int h) {
    TKorvane probe;
    probe.SetClientSize(w, h);
    const TMapRect& e = map.MapExtent();
    probe.ZoomToRect(e.MinX, e.MinY, e.MaxX, e.MaxY);
    return {probe.Scale(), probe.XWind(), probe.YWind()};
}

} // namespace

TEST(PluginEntryPoints, NextFileLoadsIntoTheSameWindowAndRefusesOthers) {
    app();
    Plugin p;
    auto load = p.get<LoadFn>("ListLoad");
    auto next = p.get<LoadNextFn>("ListLoadNext");
    auto close = p.get<CloseFn>("ListCloseWindow");
    ASSERT_TRUE(next);
    const test::TempDir dir;
    std::filesystem::copy_file(kSample, dir / "a.map");
    // The same map cut short: the reader keeps the objects before the cut.
    const auto size = std::filesystem::file_size(kSample);
    std::filesystem::copy_file(kSample, dir / "b.map");
    std::filesystem::resize_file(dir / "b.map", size * 2 / 3);
    std::string a = (dir / "a.map").string(), b = (dir / "b.map").string(), txt = (dir / "c.txt").string();
    QWidget parent;
    parent.resize(500, 400);
    void* win = load(&parent, a.data(), 0);
    ASSERT_NE(win, nullptr);
    auto* form = static_cast<TfmMain*>(static_cast<QWidget*>(win));
    const int whole = form->Korvane().Objects().count();
    EXPECT_TRUE(form->Notice() == nullptr || !form->Notice()->isVisible()); // read whole: no notice
    form->Korvane().SetScale(form->Korvane().Scale() * 5);

    EXPECT_EQ(next(&parent, win, b.data(), 0), 0);
    TKorvane& map = form->Korvane();
    EXPECT_LT(map.Objects().count(), whole);
    EXPECT_GT(map.Objects().count(), 0);
    const Fit fit = fitAt(map, form->width(), form->height());
    EXPECT_NEAR(map.Scale(), fit.scale, fit.scale * 1e-6); // the next file is fitted afresh
    ASSERT_NE(form->Notice(), nullptr);
    EXPECT_TRUE(form->Notice()->isVisibleTo(form));
    const QString notice = form->findChild<plugin::NoticeBar*>()->text();
    EXPECT_TRUE(notice.startsWith(QStringLiteral("Файл повреждён: показаны объекты до байта "))) << notice.toStdString();
    form->findChild<plugin::NoticeBar*>()->closeButton()->click(); // dismissed with its ×
    EXPECT_FALSE(form->Notice()->isVisibleTo(form));

    // Not a map: refused, the window shows what it showed (the host then closes it).
    EXPECT_EQ(next(&parent, win, txt.data(), 0), 1);
    EXPECT_GT(map.Objects().count(), 0);
    EXPECT_EQ(next(&parent, win, a.data(), 0), 0);
    EXPECT_EQ(map.Objects().count(), whole);
    EXPECT_FALSE(form->Notice()->isVisibleTo(form)); // a whole file takes the notice away
    close(win);
}

TEST(ViewerForm, ResizeFitsTheWholeMapUntilTheViewIsMoved) {
    app();
    TfmMain form;
    form.resize(650, 460);
    form.Korvane().SetClientSize(650, 460);
    form.LoadFromFile1(kSample);
    form.MapWidget().FitWholeMap();
    form.show(); // a hidden window hears of its new size only when shown
    TKorvane& map = form.Korvane();
    // The host grows its window after the load: the map follows.
    form.resize(1000, 700);
    Fit fit = fitAt(map, 1000, 700);
    EXPECT_NEAR(map.Scale(), fit.scale, fit.scale * 1e-6);
    EXPECT_NEAR(map.XWind(), fit.x, 0.5);
    EXPECT_NEAR(map.YWind(), fit.y, 0.5);
    // A key that does not move the view leaves it fitted.
    key(form.MapWidget(), QEvent::KeyPress, Qt::Key_F5);
    form.resize(800, 600);
    fit = fitAt(map, 800, 600);
    EXPECT_NEAR(map.Scale(), fit.scale, fit.scale * 1e-6);

    // Once panned, a resize keeps the scale and the top-left.
    key(form.MapWidget(), QEvent::KeyPress, Qt::Key_Right);
    const double scale = map.Scale();
    const float x = map.XWind(), y = map.YWind();
    form.resize(1000, 700);
    EXPECT_DOUBLE_EQ(map.Scale(), scale);
    EXPECT_FLOAT_EQ(map.XWind(), x);
    EXPECT_FLOAT_EQ(map.YWind(), y);
}

TEST(ViewerForm, ProgressWindowHoldsBackInputAndTakesEscFromAnywhere) {
    app();
    bool cancel = false;
    QWidget host;
    int keys = 0;
    struct Counter : QObject {
        int* n;
        explicit Counter(int* c) : n(c) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::KeyPress) ++*n;
            return false;
        }
    } counter(&keys);
    host.installEventFilter(&counter);
    {
        plugin::ProgressWindow progress(nullptr, &cancel);
        EXPECT_TRUE(progress.testAttribute(Qt::WA_ShowWithoutActivating)); // the keys stay where they were
        key(host, QEvent::KeyPress, Qt::Key_N); // the host's next-file key waits for the load
        EXPECT_EQ(keys, 0);
        EXPECT_FALSE(cancel);
        key(host, QEvent::KeyPress, Qt::Key_Escape);
        EXPECT_TRUE(cancel);
    }
    key(host, QEvent::KeyPress, Qt::Key_N); // after the load, input flows again
    EXPECT_EQ(keys, 1);
}

TEST(PluginEntryPoints, FindCentresTheMatchBlinksItAndSaysWhenThereIsNone) {
    app();
    Plugin p;
    using SearchFn = int (*)(void*, char*, int);
    auto load = p.get<LoadFn>("ListLoad");
    auto search = p.get<SearchFn>("ListSearchText");
    auto close = p.get<CloseFn>("ListCloseWindow");
    ASSERT_TRUE(search);
    QWidget parent;
    parent.resize(800, 600);
    std::string path = kSample;
    void* win = load(&parent, path.data(), 0);
    ASSERT_NE(win, nullptr);
    auto* form = static_cast<TfmMain*>(static_cast<QWidget*>(win));
    TKorvane& map = form->Korvane();
    std::string street = "садовая"; // the address is upper case: Find ignores case by default
    ASSERT_EQ(search(win, street.data(), 1 /* lcs_findfirst */), 0);
    const int first = form->CurrentMatch();
    ASSERT_GE(first, 0);
    EXPECT_EQ(map.BlinkList, std::vector<int>{first});
    // Centred: the match's box holds the middle of the window.
    const TQEVMapObjectMem& obj = map.Objects()[first];
    const TPoint a = map.View().toScreen(obj.Corners[0]), c = map.View().toScreen(obj.Corners[2]);
    EXPECT_NEAR((a.X + c.X) / 2, map.Width() / 2, 2);
    EXPECT_NEAR((a.Y + c.Y) / 2, map.Height() / 2, 2);
    // On to the next, then back with lcs_backwards.
    if (search(win, street.data(), 0) == 0) {
        EXPECT_GT(form->CurrentMatch(), first);
        EXPECT_EQ(search(win, street.data(), 8 /* lcs_backwards */), 0);
        EXPECT_EQ(form->CurrentMatch(), first);
    }
    std::string upper = "САДОВАЯ";
    EXPECT_EQ(search(win, street.data(), 1 | 2 /* lcs_matchcase */), 1);
    EXPECT_EQ(search(win, upper.data(), 1 | 2), 0);
    const double scale = map.Scale();
    std::string none = "нет такой улицы";
    EXPECT_EQ(search(win, none.data(), 1), 1); // "not found" goes back to the host
    EXPECT_DOUBLE_EQ(map.Scale(), scale);
    close(win);
}

TEST(PluginEntryPoints, CommandsCopyTheViewRefuseSelectAllAndTakeNewParameters) {
    app();
    Plugin p;
    using CommandFn = int (*)(void*, int, int);
    auto load = p.get<LoadFn>("ListLoad");
    auto command = p.get<CommandFn>("ListSendCommand");
    auto close = p.get<CloseFn>("ListCloseWindow");
    ASSERT_TRUE(command);
    QWidget parent;
    parent.resize(640, 480);
    std::string path = kSample;
    void* win = load(&parent, path.data(), 0);
    ASSERT_NE(win, nullptr);
    auto* form = static_cast<TfmMain*>(static_cast<QWidget*>(win));
    QGuiApplication::clipboard()->clear();
    ASSERT_EQ(command(win, 1 /* lc_copy */, 0), 0);
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(640, 480));
    // The fitted sample: its land colour in the middle of the picture, as the window shows it.
    int land = 0;
    for (int y = 0; y < copied.height(); y += 4)
        for (int x = 0; x < copied.width(); x += 4) land += (copied.pixel(x, y) & 0xFFFFFF) == 0xF2EFE2;
    EXPECT_GT(land, 640 * 480 / 16 / 3);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty()); // no balloon, no text

    EXPECT_EQ(command(win, 3 /* lc_selectall */, 0), 1);
    TKorvane& map = form->Korvane();
    const double fitted = map.Scale();
    map.SetScale(fitted * 3);
    EXPECT_EQ(command(win, 2 /* lc_newparams */, 2 /* lcp_fittowindow */), 0);
    EXPECT_NEAR(map.Scale(), fitted, fitted * 1e-6);
    close(win);
}

TEST(ViewerPrint, TheViewFillsThePageInsideTheMargins) {
    auto form = openForm(640, 480);
    const QImage view = form->ViewPicture();
    ASSERT_EQ(view.size(), QSize(640, 480));
    const test::TempDir dir;
    const QString pdf = QString::fromStdString((dir / "view.pdf").string());
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Landscape);
    ASSERT_TRUE(plugin::PrintPicture(printer, view, QMarginsF(20, 15, 20, 15)));
    // The margins reached the page, and the document holds one page with the picture.
    const QMarginsF m = printer.pageLayout().margins(QPageLayout::Millimeter);
    EXPECT_NEAR(m.left(), 20, 0.01);
    EXPECT_NEAR(m.top(), 15, 0.01);
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_EQ(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "), 1);
    EXPECT_TRUE(bytes.contains("/Image")); // the view went in as a picture
    EXPECT_GT(bytes.size(), 20000);

    EXPECT_FALSE(plugin::PrintPicture(printer, QImage(), QMarginsF())); // nothing to print
}

TEST(PluginEntryPoints, ThumbnailOfTheWholeMapAtTheSizeAsked) {
    app();
    Plugin p;
    using PreviewFn = void* (*)(char*, int, int, char*, int);
    auto preview = p.get<PreviewFn>("ListGetPreviewBitmap");
    ASSERT_TRUE(preview);
    std::string path = kSample;
    char head[64] = {};
    std::unique_ptr<QImage> thumb(static_cast<QImage*>(preview(path.data(), 200, 200, head, 0)));
    ASSERT_TRUE(thumb);
    // The sample is wider than tall: full width, less height, never more than asked.
    EXPECT_EQ(thumb->width(), 200);
    EXPECT_LT(thumb->height(), 200);
    EXPECT_GT(thumb->height(), 50);
    // The whole map: land in the middle, and the river's blue somewhere in the lower half.
    int land = 0, river = 0;
    for (int y = 0; y < thumb->height(); ++y)
        for (int x = 0; x < thumb->width(); ++x) {
            const QRgb c = thumb->pixel(x, y) & 0xFFFFFF;
            land += c == 0xF2EFE2;
            river += c == 0xA0C8F0 && y > thumb->height() / 2;
        }
    EXPECT_GT(land, thumb->width() * thumb->height() / 4);
    EXPECT_GT(river, 100);
    // A tall box: the height is the bound.
    std::unique_ptr<QImage> tall(static_cast<QImage*>(preview(path.data(), 100, 400, head, 0)));
    ASSERT_TRUE(tall);
    EXPECT_EQ(tall->width(), 100);
    EXPECT_LT(tall->height(), 400);

    // Nothing for what is no map, a missing file, an empty or a silly size.
    const test::TempDir dir;
    std::string txt = (dir / "a.txt").string(), missing = (dir / "gone.map").string();
    EXPECT_EQ(preview(txt.data(), 100, 100, head, 0), nullptr);
    EXPECT_EQ(preview(missing.data(), 100, 100, head, 0), nullptr);
    EXPECT_EQ(preview(path.data(), 0, 100, head, 0), nullptr);
    EXPECT_EQ(preview(nullptr, 100, 100, head, 0), nullptr);
}

TEST(ViewerForm, DamageNoticeNamesWhereTheFileBroke) {
    using plugin::DamageNotice;
    EXPECT_EQ(DamageNotice(ReadDiagnostic{4711, "short record"}, std::nullopt, false),
              QStringLiteral("Файл повреждён: показаны объекты до байта 4711"));
    EXPECT_EQ(DamageNotice(std::nullopt, ImportProblem{"a.mp", 812, "bad"}, false),
              QStringLiteral("Файл повреждён (строка 812): показано то, что удалось прочитать"));
    EXPECT_EQ(DamageNotice(std::nullopt, ImportProblem{"a.mif", 0, "bad"}, false),
              QStringLiteral("Файл повреждён: показано то, что удалось прочитать")); // no line to name
    EXPECT_EQ(DamageNotice(std::nullopt, std::nullopt, true), QStringLiteral("Загрузка прервана: показана часть карты"));
    EXPECT_TRUE(DamageNotice(std::nullopt, std::nullopt, false).isEmpty());
}
