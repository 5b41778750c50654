// The map widget's own cursor pictures: drawn, placed on the right spot, and shown for the tool.

#include "cursors.h"
#include "headless.h"
#include "korvane_widget.h"

#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

using namespace kestrum;

TEST(Cursors, PicturesHotSpotsAndTheLensTool) {
    static const auto app = qt::makeHeadlessApplication();

    for (int id = crZoneLeft; id <= crEyeDropper; ++id) {
        SCOPED_TRACE(id);
        const QCursor c = qt::cursorFor(id);
        ASSERT_EQ(c.shape(), Qt::BitmapCursor);
        EXPECT_TRUE(QRect(0, 0, 32, 32).contains(c.hotSpot()));
        const QImage picture = c.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(picture.size(), QSize(32, 32));
        int black = 0, clear = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const QRgb px = picture.pixel(x, y);
                black += qAlpha(px) == 255 && qGray(px) < 64;
                clear += qAlpha(px) == 0;
            }
        EXPECT_GT(black, 20); // a shape, not a blank or a filled square
        EXPECT_GT(clear, 200);
    }
    // The scroll-zone arrows point at the edge they scroll towards.
    EXPECT_LT(qt::cursorFor(crZoneLeft).hotSpot().x(), 16);
    EXPECT_GE(qt::cursorFor(crZoneRight).hotSpot().x(), 16);
    EXPECT_EQ(qt::cursorFor(crDefault).shape(), Qt::ArrowCursor);

    qt::KorvaneWidget widget;
    widget.map().Instrument(iLinza);
    EXPECT_EQ(widget.cursor(), qt::cursorFor(crLinza));
    widget.map().Instrument(iPick);
    EXPECT_EQ(widget.cursor().shape(), Qt::ArrowCursor);
}
