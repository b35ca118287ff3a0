#include "window/qt/form1.h"

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QCoreApplication>
#include <QLibrary>
#include <QPagedPaintDevice>
#include <QRawFont>
#include <QPixmap>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <ctime>
#include <functional>

#include "common/facts.h"
#include "common/text.h"
#include "common/windows1252.h"
#include "port/poll_port.h"
#include "printhead/general.h"
#include "window/qt/decoration.h"
#include "window/qt/print_module.h"
#include "window/qt/pam.h"
#include "window/qt/paper.h"
#include "window/qt/printer_font.h"
#include "window/keep.h"
#include "window/sheet.h"
#include "window/sheet_pdf.h"
#include "window/sheet_picture.h"

namespace {

QFont SansFont(qreal points) {
    QFont font(PrinterFontFamily());
    font.setPointSizeF(points);
    return font;
}

// A picture of the program's own that cannot be read leaves its place empty, with a word.
void Warn(const pexal::Status& status) {
    if (!status.ok()) pexal::Say(pexal::kPrinter, "cannot read " + status.path + ": " + status.reason);
}

template <typename Control>
Control* Place(Control* control, const sheet::Control& where) {
    control->setObjectName(where.name);
    control->setGeometry(ToPixels(where.box));
    return control;
}

// The sheet onto a painter in the sheet's pixels, as the PDF draws it.
class PainterCanvas final : public sheet::Canvas {
public:
    explicit PainterCanvas(QPainter& painter) : painter_(painter) {
        font_.loadFromData(PrinterFontData(), sheet::kGlyphPixels, QFont::PreferNoHinting);
        painter_.setRenderHint(QPainter::Antialiasing);
    }
    void Fill(double x, double y, double width, double height, sheet::Rgb colour) override {
        painter_.fillRect(QRectF(x, y, width, height), ToColor(colour));
    }
    void Dash(double x1, double x2, double y) override {
        painter_.setPen(QPen(Qt::black, 1, Qt::SolidLine, Qt::FlatCap));
        painter_.drawLine(QLineF(x1, y + 0.5, x2, y + 0.5));
    }
    void Hole(double x, double y, double size) override {
        painter_.setPen(QPen(Qt::black, 1));
        painter_.setBrush(Qt::white);
        painter_.drawEllipse(QRectF(x, y, size, size).adjusted(0.5, 0.5, -0.5, -0.5));
    }
    void Under(double x, double top, std::uint8_t code) override {
        QGlyphRun run;
        run.setRawFont(font_);
        run.setGlyphIndexes({font_.glyphIndexesForString(QString(QChar(pexal::FromWindows1252(code)))).value(0)});
        run.setPositions({QPointF(0, 0)});
        painter_.drawGlyphRun(QPointF(x, top + qRound(font_.ascent())), run);
    }

private:
    QPainter& painter_;
    QRawFont font_;
};

QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

Form1::Form1(QWidget* parent) : QWidget(parent) {
    Q_INIT_RESOURCE(window);
    setWindowTitle(sheet::kCaption);
    // Raw pixels, not image files: QIcon and QImageReader would look among the icon-engine
    // and image-format plugins for one that reads the file, loading the SVG library, JPEG
    // and more at start-up.
    QImage icon, printer;
    Warn(ReadPam(":/window/pexal-printer.pam", &icon));
    setWindowIcon(QIcon(QPixmap::fromImage(icon)));
    setFixedSize(ToPixels(sheet::kClientArea).size());
    setFont(SansFont(sheet::kFontPoints));  // the button and the page take it over
    QPalette green = palette();
    green.setColor(QPalette::Window, ToColor(sheet::kPaperGreen));
    setPalette(green);
    setAutoFillBackground(true);

    Label1 = Place(new QLabel(QString::fromStdString(sheet::Label1Caption()), this), sheet::kLabel1);
    Label1->setFont(SansFont(sheet::kLabelFontPoints));

    NewPage = Place(new QPushButton(sheet::kNewPageCaption, this), sheet::kNewPage);
    connect(NewPage, &QPushButton::clicked, this, &Form1::NewPage_Click);

    Paper = Place(new class Paper(this), sheet::kPaper);

    // The illustration was rendered from its SVG at build time, at 1x and 2x, so that no
    // SVG library is loaded at start-up.
    Picture1 = Place(new QLabel(this), sheet::kPicture1);
    Picture1->setAccessibleName(QString::fromUtf16(sheet::kPictureName));
    Picture1->setAccessibleDescription(QString::fromUtf16(sheet::kPictureDescription));
    const bool dense = devicePixelRatio() > 1;
    Warn(ReadPam(dense ? ":/window/printer@2x.pam" : ":/window/printer.pam", &printer));
    QPixmap illustration = QPixmap::fromImage(printer);
    illustration.setDevicePixelRatio(dense ? 2 : 1);
    Picture1->setPixmap(illustration);
    Picture1->setAlignment(Qt::AlignCenter);
    Picture1->setAutoFillBackground(true);

    QWidget* const inTabOrder[] = {Label1, NewPage, Paper, Picture1};  // as sheet::kTabOrder
    static_assert(std::size(inTabOrder) == sheet::kTabOrder.size());
    for (std::size_t k = 0; k + 1 < std::size(inTabOrder); ++k) {
        setTabOrder(inTabOrder[k], inTabOrder[k + 1]);
    }

    // Shortcuts that work wherever the focus is in the window, and the page's context menu.
    const struct {
        const char* text;
        QKeySequence keys;
        std::function<void()> does;
    } actions[] = {
        {keep::kCopyText, QKeySequence::Copy, [this] { CopyText(); }},
        {keep::kSavePage, QKeySequence::Save, [this] { AskToSave(false); }},
        {keep::kSaveAllPages, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), [this] { AskToSave(true); }},
        {keep::kPrint, QKeySequence::Print, [this] { AskToPrint(); }},
    };
    for (const auto& a : actions) {
        auto* action = new QAction(QString::fromUtf8(a.text), this);
        action->setShortcut(a.keys);
        connect(action, &QAction::triggered, this, a.does);
        addAction(action);
        Paper->addAction(action);
    }
    Paper->setContextMenuPolicy(Qt::ActionsContextMenu);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(pexal::kPollInterval);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    Timer1->start();

    // Ticks arrive only through the event loop, so the head is ready before the first.
    Form_Load();
}

Form1::~Form1() { General::SetPage(nullptr); }

void Form1::Form_Load() {
    General::SetPage(Paper);
    General::InitPrinter();
    General::HomeHead();
}

void Form1::NewPage_Click() {
    if (!Paper->record().Empty()) torn_.push_back(Paper->record().Kept());
    Paper->Clear();
    General::HomeHead();
}

void Form1::CopyText() {
    QGuiApplication::clipboard()->setText(QString::fromStdU16String(Paper->reading().Current()));
}

std::string Form1::SavePage(const QString& path) {
    QByteArray bytes;
    switch (keep::FormatOf(path.toStdString())) {
        case keep::Format::kPdf:
            bytes = Bytes(sheet::SheetPdf({Paper->record()}, PrinterFontData().toStdString()));
            break;
        case keep::Format::kPng: {  // the window as it stands, at the screen's pixel ratio
            QBuffer buffer(&bytes);
            grab().toImage().save(&buffer, "PNG");
            break;
        }
        case keep::Format::kText:
            bytes = Bytes(keep::TextFile(Paper->reading().Current(), "\n"));
            break;
    }
    return keep::Save(path.toStdString(), std::string_view(bytes.constData(), bytes.size()));
}

std::string Form1::SaveAllPages(const QString& path) {
    std::vector<General::PageRecord> pages = torn_;
    pages.push_back(Paper->record().Kept());
    return keep::Save(path.toStdString(), sheet::SheetPdf(pages, PrinterFontData().toStdString()));
}

void Form1::PrintOn(QPagedPaintDevice& printer) {
    QPainter painter(&printer);
    const QRectF page = printer.pageLayout().paintRectPixels(printer.logicalDpiX());
    const qreal scale = std::min(page.width() / sheet::kSheetWidth, page.height() / sheet::kSheetHeight);
    painter.scale(scale, scale);
    PainterCanvas canvas(painter);
    sheet::DrawSheet(canvas, Paper->record());
}

// A dialog runs its own event loop: the timer goes on polling meanwhile.
void Form1::AskToSave(bool allPages) {
    const std::time_t now = std::time(nullptr);
    const QString suggested = QString::fromStdString(keep::DefaultName(*std::localtime(&now), keep::Format::kPdf));
    const QString types = allPages ? "PDF (*.pdf)" : "PDF (*.pdf);;PNG image (*.png);;Text (*.txt)";
    QString type;
    QString path = QFileDialog::getSaveFileName(this, QString::fromUtf8(allPages ? keep::kSaveAllPages : keep::kSavePage).chopped(1),
                                                suggested, types, &type);
    if (path.isEmpty()) return;
    // The type chosen in the dialog decides, when the name gives no extension of ours.
    if (QFileInfo(path).suffix().isEmpty()) path += type.contains("png") ? ".png" : type.contains("txt") ? ".txt" : ".pdf";
    const std::string failed = allPages ? SaveAllPages(path) : SavePage(path);
    if (!failed.empty()) QMessageBox::warning(this, sheet::kCaption, QString::fromStdString(failed));
}

// The module lies where it was installed, as seen from the program: in the build tree
// the same way as from an installed program.
void Form1::AskToPrint() {
    static QLibrary module(QCoreApplication::applicationDirPath() + "/" PEXAL_PRINT_MODULE);
    const auto ask = reinterpret_cast<decltype(&PexalAskAndPrint)>(module.resolve(kPexalAskAndPrint));
    if (ask == nullptr) {
        QMessageBox::warning(this, sheet::kCaption, "Printing is not available: " + module.errorString());
        return;
    }
    ask(this, [](QPagedPaintDevice& printer, void* form) { static_cast<Form1*>(form)->PrintOn(printer); },
        this);
}

void Form1::Timer1_Timer() {
    report_.Tick();
    Paper->Tick(General::PosX, General::PosY);
}

void Form1::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawPerforations(painter);
    DrawSprocketHoles(painter);
}
