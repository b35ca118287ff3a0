#include "window/qt/form1.h"

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QCoreApplication>
#include <QLibrary>
#include <QPagedPaintDevice>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QRawFont>
#include <QSettings>
#include <QPixmap>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <ctime>
#include <filesystem>

#include "common/facts.h"
#include "common/text.h"
#include "common/windows1252.h"
#include "window/qt/decoration.h"
#include "window/qt/print_module.h"
#include "window/qt/pam.h"
#include "window/qt/paper.h"
#include "window/qt/paper_accessible.h"
#include "window/qt/printer_font.h"
#include "window/keep.h"
#include "window/pdf_font.h"
#include "window/sheet.h"
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

// The sheet onto a painter in the sheet's pixels, as the PDF draws it: the page's lines
// as text in the PDF's font (the screen's glyphs, a cell wide each, so that a printer's
// PDF keeps words whole), overprinted ink as outlines.
class PainterCanvas final : public sheet::Canvas {
public:
    explicit PainterCanvas(QPainter& painter) : painter_(painter) {
        ink_.loadFromData(PrinterFontData(), sheet::kGlyphPixels, QFont::PreferNoHinting);
        static const int registered = QFontDatabase::addApplicationFontFromData(
            QByteArray::fromRawData(pdf_font::kFont.data(), static_cast<qsizetype>(pdf_font::kFont.size())));
        QFont font(QFontDatabase::applicationFontFamilies(registered).value(0, pdf_font::kFamily));
        font.setPixelSize(static_cast<int>(sheet::kGlyphPixels));
        font.setHintingPreference(QFont::PreferNoHinting);
        text_ = QRawFont::fromFont(font);
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
    void Line(double x, double top, const std::array<std::uint8_t, pexal::kColumns>& codes) override {
        QString line;
        QList<QPointF> at;
        for (int k = 0; k < pexal::kColumns; ++k) {
            if (codes[k] == 0) continue;
            line += QChar(pexal::FromWindows1252(codes[k]));
            at << QPointF(k * pexal::kCellWidth, 0);
        }
        QGlyphRun run;
        run.setRawFont(text_);
        run.setGlyphIndexes(text_.glyphIndexesForString(line));
        run.setPositions(at);
        painter_.setPen(Qt::black);
        painter_.drawGlyphRun(QPointF(x, top + qRound(text_.ascent())), run);
    }
    void Under(double x, double top, std::uint8_t code) override {
        QPointF baseline;
        DrawCode(painter_, ink_, QPointF(x, top), code, &baseline);
    }

private:
    QPainter& painter_;
    QRawFont ink_, text_;
};

}  // namespace

Form1::Form1(QWidget* parent) : QWidget(parent) {
    Q_INIT_RESOURCE(window);
    // The printer keeps no settings, but Qt's file dialog would write its own
    // (~/.config/QtProject.conf) where no file can be made.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
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

    // A terminal is named to Orca by its label, as in where-am-I: one that is not shown,
    // made after the controls so that it stands after them for assistive technology too.
    auto* pageLabel = new QLabel(QString::fromUtf16(sheet::kPageName), this);
    pageLabel->setBuddy(Paper);
    pageLabel->hide();
    QWidget* const inTabOrder[] = {Label1, NewPage, Paper, Picture1};  // as sheet::kTabOrder
    static_assert(std::size(inTabOrder) == sheet::kTabOrder.size());
    for (std::size_t k = 0; k + 1 < std::size(inTabOrder); ++k) {
        setTabOrder(inTabOrder[k], inTabOrder[k + 1]);
    }

    // Shortcuts that work wherever the focus is in the window, and the page's context menu.
    for (const printer::ActionItem& item : printer::kActions) {
        auto* action = new QAction(QString::fromUtf8(item.label), this);
        const QKeyCombination keys(item.shift ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier,
                                   Qt::Key(item.key));
        action->setShortcut(QKeySequence(keys));
        connect(action, &QAction::triggered, this, [this, a = item.action] { Do(a); });
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

Form1::~Form1() = default;

// The load step: the session homes the head onto its page before the first tick.
void Form1::Form_Load() {
    session_ = std::make_unique<printer::Session>(*Paper, /*phrased=*/true);
    Paper->Show(session_.get());
}

void Form1::NewPage_Click() { Paper->Tell(session_->NewPage()); }

void Form1::Do(printer::Action action) {
    switch (action) {
        case printer::Action::kCopyText: CopyText(); break;
        case printer::Action::kSavePage: AskToSave(false); break;
        case printer::Action::kSaveAllPages: AskToSave(true); break;
        case printer::Action::kPrint: AskToPrint(); break;
    }
}

void Form1::CopyText() { QGuiApplication::clipboard()->setText(QString::fromStdU16String(session_->Text())); }

// The window as it stands, at the screen's pixel ratio.
printer::KeepSources Form1::Sources() {
    return {[this] {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        grab().toImage().save(&buffer, "PNG");
        return bytes.toStdString();
    }};
}

std::string Form1::SavePage(const QString& path) {
    const std::filesystem::path typed = path.toStdString();
    return session_->Save({typed, keep::FormatOf(typed)}, false, Sources());
}

std::string Form1::SaveAllPages(const QString& path) {
    return session_->Save({path.toStdString(), keep::Format::kPdf}, true, Sources());
}

void Form1::PrintOn(QPagedPaintDevice& printer, int first, int last, const sheet::PrintChoice& choice) {
    const std::vector<General::PageRecord> pages = session_->Pages();
    QPainter painter(&printer);
    for (int k = std::max(first, 0); k <= std::min<int>(last, static_cast<int>(pages.size()) - 1); ++k) {
        if (k > std::max(first, 0)) printer.newPage();
        const QRectF area = printer.pageLayout().paintRectPixels(printer.logicalDpiX());
        const sheet::Placement place = sheet::PlaceOnPaper(area.width(), area.height(), choice);
        painter.save();
        painter.translate(place.x, place.y);
        painter.scale(place.scale, place.scale);
        PainterCanvas canvas(painter);
        sheet::DrawPrinted(canvas, pages[k], choice);
        painter.restore();
    }
}

void Form1::SaveInBackground(const keep::Target& target, bool allPages) {
    session_->SaveInBackground(target, allPages, Sources());
}

// A dialog runs its own event loop: the timer goes on polling meanwhile. It opens where
// the user last saved to during the run.
void Form1::AskToSave(bool allPages) {
    const std::time_t now = std::time(nullptr);
    const std::filesystem::path suggested =
        session_->SaveFolder() / keep::DefaultName(*std::localtime(&now), keep::Format::kPdf);
    QStringList types;
    for (int k = 0; k < keep::TypesOffered(allPages); ++k) {
        types << QString("%1 (*%2)").arg(keep::kFileTypes[k].name, keep::kFileTypes[k].extension);
    }
    QString type;
    const QString title = QString::fromUtf8(printer::ItemOf(allPages ? printer::Action::kSaveAllPages
                                                                     : printer::Action::kSavePage).label);
    const QString path = QFileDialog::getSaveFileName(this, title.chopped(1), QString::fromStdString(suggested.string()),
                                                      types.join(";;"), &type);
    if (path.isEmpty()) return;
    SaveInBackground(keep::Resolve(path.toStdString(), static_cast<int>(types.indexOf(type)), allPages), allPages);
}

static_assert(static_cast<int>(sheet::PrintRange::kAllPages) == PexalPrintJob::kAllPages &&
              static_cast<int>(sheet::PrintRange::kFromTo) == PexalPrintJob::kFromTo);

// The module lies where it was installed, as seen from the program: in the build tree
// the same way as from an installed program.
void Form1::AskToPrint() {
    static QLibrary module(QCoreApplication::applicationDirPath() + "/" PEXAL_PRINT_MODULE);
    const auto ask = reinterpret_cast<decltype(&PexalAskAndPrint)>(module.resolve(kPexalAskAndPrint));
    if (ask == nullptr) {
        QMessageBox::warning(this, sheet::kCaption, "Printing is not available: " + module.errorString());
        return;
    }
    ask(this, static_cast<int>(session_->Pages().size()),
        [](QPagedPaintDevice& printer, const PexalPrintJob& job, void* context) {
            auto* form = static_cast<Form1*>(context);
            const sheet::PageSpan span = sheet::PagesToPrint(static_cast<sheet::PrintRange>(job.range), job.from, job.to,
                                                             static_cast<int>(form->session_->Pages().size()));
            form->PrintOn(printer, span.first, span.last, {job.wholeSheet});
        },
        this);
}

void Form1::Timer1_Timer() {
    GuardRangeExtents();
    Paper->Tell(session_->Tick(Paper->hasFocus()));
    for (const std::string& failed : session_->SaveFailures()) {
        QMessageBox::warning(this, sheet::kCaption, QString::fromStdString(failed));
    }
}

void Form1::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawPerforations(painter);
    DrawSprocketHoles(painter);
}
