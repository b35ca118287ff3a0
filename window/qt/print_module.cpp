#include "window/qt/print_module.h"

#include <QPrintDialog>
#include <QPrinter>

extern "C" Q_DECL_EXPORT bool PexalAskAndPrint(QWidget* parent, PexalDrawOn draw, void* context) {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    draw(printer, context);
    return true;
}
