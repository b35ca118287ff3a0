#include "window/qt/print_module.h"

#include <QCheckBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QVBoxLayout>

#include <algorithm>

extern "C" Q_DECL_EXPORT bool PexalAskAndPrint(QWidget* parent, int pages, PexalDrawOn draw, void* context) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrintRange(QPrinter::CurrentPage);
    printer.setFromTo(1, pages);
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange);
    dialog.setMinMax(1, pages);
    auto* sheet = new QWidget;
    sheet->setWindowTitle(QStringLiteral("Sheet"));
    auto* whole = new QCheckBox(QStringLiteral("Print the whole sheet, green, with its sprocket holes"), sheet);
    (new QVBoxLayout(sheet))->addWidget(whole);
    dialog.setOptionTabs({sheet});
    if (dialog.exec() != QDialog::Accepted) return false;
    PexalPrintJob job{pages - 1, pages - 1, whole->isChecked()};
    if (printer.printRange() == QPrinter::AllPages) job.first = 0;
    if (printer.printRange() == QPrinter::PageRange) {
        job.first = std::clamp(printer.fromPage(), 1, pages) - 1;
        job.last = std::clamp(printer.toPage(), job.first + 1, pages) - 1;
    }
    draw(printer, job, context);
    return true;
}
