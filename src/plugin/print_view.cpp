#include "print_view.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

namespace kestrum::plugin {

bool PrintPicture(QPrinter& printer, const QImage& view, const QMarginsF& marginsMm) {
    if (view.isNull()) return false;
    printer.setFullPage(false);
    printer.setPageMargins(marginsMm, QPageLayout::Millimeter);
    QPainter p;
    if (!p.begin(&printer)) return false;
    // The painter's area is the page inside the margins.
    const QRect page = p.viewport();
    QSize fitted = view.size();
    fitted.scale(page.size(), Qt::KeepAspectRatio);
    const QRect target(page.x() + (page.width() - fitted.width()) / 2, page.y() + (page.height() - fitted.height()) / 2,
                       fitted.width(), fitted.height());
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, view);
    return p.end();
}

bool PrintWithDialog(QWidget* owner, const QImage& view, const QMarginsF& marginsMm, const QString& printerName) {
    QPrinter printer(QPrinter::HighResolution);
    if (!printerName.isEmpty()) printer.setPrinterName(printerName);
    printer.setPageOrientation(view.width() > view.height() ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setPageMargins(marginsMm, QPageLayout::Millimeter);
    QPrintDialog dialog(&printer, owner);
    dialog.setWindowTitle(QStringLiteral("Печать"));
    if (dialog.exec() != QDialog::Accepted) return false;
    return PrintPicture(printer, view, marginsMm);
}

} // namespace kestrum::plugin
