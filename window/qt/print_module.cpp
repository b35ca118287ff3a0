#include "window/qt/print_module.h"

#include <QCheckBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QVBoxLayout>


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
    const PexalPrintJob::Range range = printer.printRange() == QPrinter::AllPages    ? PexalPrintJob::kAllPages
                                       : printer.printRange() == QPrinter::PageRange ? PexalPrintJob::kFromTo
                                                                                     : PexalPrintJob::kCurrentPage;
    draw(printer, {range, printer.fromPage(), printer.toPage(), whole->isChecked()}, context);
    return true;
}
