#pragma once
// Printing the viewer's current view: the picture fitted to the page inside the host's margins.

#include <QImage>
#include <QMarginsF>

class QPrinter;
class QWidget;

namespace kestrum::plugin {

// Draws `view` centred on one page of `printer`, as large as the page allows inside
// `marginsMm` (millimetres) with its proportions kept. False when the printer cannot start.
bool PrintPicture(QPrinter& printer, const QImage& view, const QMarginsF& marginsMm);

// The platform's print dialog for the view, owned by `owner`; `printerName` chooses the
// printer when not empty. False when the user cancels or printing fails.
bool PrintWithDialog(QWidget* owner, const QImage& view, const QMarginsF& marginsMm, const QString& printerName);

} // namespace kestrum::plugin
