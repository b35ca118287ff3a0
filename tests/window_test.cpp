#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QGuiApplication>
#include <QPrinter>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSvgRenderer>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <iostream>

#include "printhead/general.h"
#include "tests/ink.h"
#include "tests/kit.h"
#include "window/qt/decoration.h"
#include "window/qt/form1.h"
#include "window/qt/paper.h"
#include "window/sheet.h"

namespace {

using pexal_test::InkIn;

const QRect kFirstCell(3, 5, 8, 15);

class Window : public pexal_test::PortFileTest {
protected:
    void SetUp() override {
        PortFileTest::SetUp();
        form = std::make_unique<Form1>();
        paper = form->findChild<Paper*>("Paper");
        ASSERT_NE(paper, nullptr);
    }
    void TearDown() override {
        form.reset();
        PortFileTest::TearDown();
    }
    const QImage& page() { return paper->image(); }
    bool port130Empty() {
        const auto bytes = fileBytes();
        return bytes && bytes->size() > 30 && bytes->at(30) == '\0';
    }

    std::unique_ptr<Form1> form;
    Paper* paper = nullptr;
};

TEST_F(Window, ControlsStandWhereTheSheetPutsThem) {
    EXPECT_EQ(form->windowTitle(), "Pexal Printer");
    EXPECT_EQ(form->size(), QSize(273, 396));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()) << "the window does not resize";
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(192, 255, 192));
    EXPECT_EQ(form->windowIcon().availableSizes().value(0), QSize(32, 32));

    auto* label = form->findChild<QLabel*>("Label1");
    auto* button = form->findChild<QPushButton*>("NewPage");
    auto* picture = form->findChild<QLabel*>("Picture1");
    ASSERT_TRUE(label && button && picture);
    EXPECT_EQ(label->geometry(), QRect(8, 8, 105, 17));
    EXPECT_EQ(label->text(), "Printer data port: 130");
    EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), 105)
        << "the caption must fit its label";
    EXPECT_EQ(button->geometry(), QRect(16, 32, 81, 25));
    EXPECT_EQ(button->text(), "New page");
    EXPECT_EQ(paper->geometry(), QRect(24, 80, 225, 297));
    EXPECT_EQ(picture->geometry(), QRect(152, 8, 89, 57));
    EXPECT_EQ(picture->palette().color(QPalette::Window), QColor(192, 255, 192));
    EXPECT_EQ(form->font().family(), "Liberation Sans");
    EXPECT_DOUBLE_EQ(form->font().pointSizeF(), 9.75);
    EXPECT_DOUBLE_EQ(label->font().pointSizeF(), 8.25);

    EXPECT_EQ(label->nextInFocusChain(), button);
    EXPECT_EQ(button->nextInFocusChain(), paper);
    EXPECT_EQ(paper->nextInFocusChain(), picture);

    auto* timer = form->findChild<QTimer*>("Timer1");
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive()) << "polling starts with the window";
    EXPECT_EQ(timer->interval(), 200);
}

TEST(Decoration, PerforationsRunAcrossAboveAndBelowThePage) {
    // In twips, exactly as designed: a dash 120 long every 240, at y 1080 and 5760.
    ASSERT_EQ(sheet::Line1.size(), 34u);
    for (int k = 0; k < 17; ++k) {
        for (int row = 0; row < 2; ++row) {
            const sheet::Dash& dash = sheet::Line1[row * 17 + k];
            EXPECT_EQ(dash.y, row == 0 ? 1080 : 5760) << k;
            EXPECT_EQ(dash.x1, 240 * k) << k;
            EXPECT_EQ(dash.x2, 240 * k + 120) << k;
        }
    }
}

TEST_F(Window, PerforationDashesAreEightPixelsOnEightOff) {
    const QImage shot = form->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (const int y : {72, 384}) {
        for (int x = 0; x < shot.width(); ++x) {
            const bool dash = x < 17 * 16 && x % 16 < 8;
            EXPECT_EQ(qGray(shot.pixel(x, y)) < 128, dash) << "x " << x << ", y " << y;
        }
    }
}

TEST(Decoration, SprocketHolesSpanThePageHeightOnBothSides) {
    // In twips and in their designed element order: 7 upwards from 2640, then 12
    // downwards from 2880; the right column repeats the left's order.
    using sheet::HoleFill;
    using sheet::Shape1;
    ASSERT_EQ(Shape1.size(), 38u);
    EXPECT_EQ(sheet::kHoleSize, 135);
    for (int k = 0; k < 38; ++k) {
        const int element = k % 19;
        const int top = element < 7 ? 2640 - 240 * element : 2880 + 240 * (element - 7);
        EXPECT_EQ(Shape1[k].left, k < 19 ? 120 : 3840) << k;
        EXPECT_EQ(Shape1[k].top, top) << k;
        const bool opaque = k >= 19 && k <= 28;
        EXPECT_EQ(Shape1[k].fill, opaque ? HoleFill::kOpaqueWindowBackground : HoleFill::kSolidWhite)
            << k;
    }
}

TEST(Illustration, IsAVectorPrinterOf55PolygonsIn31Colours) {
    QFile file(PEXAL_SOURCE_DIR "/window/resources/printer.svg");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString svg = QString::fromUtf8(file.readAll());
    EXPECT_EQ(svg.count("<polygon"), 55);
    QSet<QString> colours;
    for (const auto& match : QRegularExpression("fill=\"(#[0-9a-f]{6})\"").globalMatch(svg)) {
        colours.insert(match.captured(1));
    }
    EXPECT_EQ(colours.size(), 31);
    QSvgRenderer renderer(svg.toUtf8());
    ASSERT_TRUE(renderer.isValid());
    EXPECT_NEAR(renderer.viewBoxF().width() / renderer.viewBoxF().height(), 5011.0 / 4920.0, 1e-9);
}

TEST_F(Window, LoadHomesTheHeadBeforeAnyTick) {
    form.reset();
    General::PosX = 150;
    General::PosY = 200;
    form = std::make_unique<Form1>();
    EXPECT_EQ(General::PosX, 3);
    EXPECT_EQ(General::PosY, 5);
}

TEST_F(Window, TimerPrintsTheWaitingCharacterAtHomeAndClearsThePort) {
    setPort(130, 'A');
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return port130Empty(); }, 5000));
    EXPECT_TRUE(InkIn(page(), kFirstCell));
    EXPECT_EQ(General::PosX, 11);
}

TEST_F(Window, NewPageClearsEverythingAndHomesTheHead) {
    auto* button = form->findChild<QPushButton*>("NewPage");
    for (const char* text : {"AB", "xyz"}) {
        for (const char* c = text; *c != '\0'; ++c) General::PrintChar(std::string(1, *c));
        General::LineFeed();
        ASSERT_TRUE(InkIn(page(), page().rect()));
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_FALSE(InkIn(page(), page().rect())) << text;
        EXPECT_EQ(General::PosX, 3);
        EXPECT_EQ(General::PosY, 5);
    }
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(InkIn(page(), page().rect()));
    EXPECT_EQ(General::PosX, 3);

    General::PrintChar("Q");
    EXPECT_TRUE(InkIn(page(), kFirstCell)) << "the next character starts the new page";
}

TEST_F(Window, ClosingWithACharacterWaitingLeavesThePortAlone) {
    form->show();
    setPort(130, 'Z');
    const auto before = fileBytes();
    form->close();
    form.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(fileBytes(), before);
}

}  // namespace

namespace {

// Copy, each kind of save, all pages and a refused write, read back by tools of their own:
// poppler for the PDF (its text, and its raster against the window's own pixels).
TEST_F(Window, TheUserKeepsThePageAsTextPdfPngAndOnPaper) {
    form->show();
    for (const char byte : std::string("Hello, printer\r\n\x80\xE9\xFF ab\bX")) General::PrintChar(std::string(1, byte));
    const QString says = QString::fromUtf8("Hello, printer\n\u20AC\u00E9\u00FF aX");
    form->CopyText();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), says);

    const QString base = QString::fromStdString(dir().string()) + "/page";
    for (const char* type : {".pdf", ".png", ".txt"}) EXPECT_EQ(form->SavePage(base + type), "") << type;
    EXPECT_EQ(readFile("page.txt"), says.toStdString() + "\n");
    const QImage window = form->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(QImage(base + ".png").convertToFormat(QImage::Format_RGB32), window);
    EXPECT_EQ(pexal_test::Capture("pdftotext -layout '" + (base + ".pdf").toStdString() + "' - | tr -d '\\f'"),
              says.toStdString());
    // Rasterised at 96 dpi the PDF inks the cells the window inks, on the same sheet.
    pexal_test::Capture("pdftoppm -r 96 -singlefile -png '" + (base + ".pdf").toStdString() + "' '" +
                        (base + "-pdf").toStdString() + "'");
    const QImage pdf = QImage(base + "-pdf.png").convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(pdf.size(), window.size());
    EXPECT_EQ(pdf.pixel(2, 60), window.pixel(2, 60)) << "the sheet's green";
    const QRect page(24, 80, 225, 297);
    for (int line = 0; line < 3; ++line) {
        for (int column = 0; column < 26; ++column) {
            const QRect cell = QRect(3 + 8 * column, 5 + 15 * line, 8, 15).translated(page.topLeft()).adjusted(1, 2, -1, -2);
            EXPECT_EQ(InkIn(pdf, cell), InkIn(window, cell)) << "cell " << column << "," << line;
        }
    }

    QTest::mouseClick(form->findChild<QPushButton*>("NewPage"), Qt::LeftButton);
    for (const char byte : std::string("second")) General::PrintChar(std::string(1, byte));
    EXPECT_EQ(form->SaveAllPages(base + "s.pdf"), "");
    EXPECT_EQ(pexal_test::Capture("pdfinfo '" + (base + "s.pdf").toStdString() + "' | grep Pages: | tr -s ' '"), "Pages: 2");
    EXPECT_EQ(pexal_test::Capture("pdftotext -f 2 '" + (base + "s.pdf").toStdString() + "' - | tr -d '\\f'"), "second");

    // On paper, through Qt's own PDF output: the current page as the whole sheet, green,
    // with the page's ink on it, filling the paper's width; then every page of the run,
    // each the page alone on white paper, its text kept as text.
    const auto print = [&](const std::string& name, int first, int last, bool wholeSheet) {
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(base + name.c_str() + ".pdf");
        form->PrintOn(printer, first, last, {wholeSheet});
        const std::string pdf = (base + name.c_str() + ".pdf").toStdString();
        pexal_test::Capture("pdftoppm -r 48 -f 1 -singlefile -png '" + pdf + "' '" + (base + name.c_str()).toStdString() + "'");
        return QImage(base + name.c_str() + ".png").convertToFormat(QImage::Format_RGB32);
    };
    const QImage sheet = print("-sheet", 1, 1, true);
    ASSERT_FALSE(sheet.isNull());
    EXPECT_EQ(sheet.pixelColor(sheet.width() / 2, sheet.height() / 10), QColor(192, 255, 192));
    EXPECT_TRUE(InkIn(sheet, QRect(0, sheet.height() / 5, sheet.width(), sheet.height() / 10), 100));
    const QImage alone = print("-pages", 0, 1, false);
    const QRect ink = pexal_test::InkBox(alone, 100);
    EXPECT_LT(ink.top(), alone.height() / 10) << "the page's first line, near the paper's top";
    bool green = false;
    for (int y = 0; y < alone.height(); y += 4) {
        for (int x = 0; x < alone.width(); x += 4) green = green || qGreen(alone.pixel(x, y)) > qRed(alone.pixel(x, y)) + 30;
    }
    EXPECT_FALSE(green) << "the page alone spares the paper the sheet's green";
    const std::string pages = (base + "-pages.pdf").toStdString();
    EXPECT_EQ(pexal_test::Capture("pdfinfo '" + pages + "' | grep Pages: | tr -s ' '"), "Pages: 2");
    EXPECT_EQ(pexal_test::Capture("pdftotext -layout -l 1 '" + pages + "' - | sed 's/ *$//' | tr -d '\\f'"), says.toStdString());
    EXPECT_EQ(pexal_test::Capture("pdftotext -f 2 '" + pages + "' - | tr -d '\\f'"), "second");
    // Print asks where to print, through the print module the window loads then.
    std::string asked = "nothing";
    QTimer::singleShot(0, [&] {
        asked = QApplication::activeModalWidget()->metaObject()->className();  // the dialog's
        QApplication::activeModalWidget()->close();
    });
    for (QAction* action : form->actions()) {
        if (action->shortcut() == QKeySequence::Print) action->trigger();
    }
    EXPECT_EQ(asked, "QPrintDialog");

    // The save dialog writes no settings of its own.
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    for (QAction* action : form->actions()) {
        if (action->shortcut() == QKeySequence::Save) action->trigger();
    }
    EXPECT_FALSE(QFileInfo::exists(QSettings(QSettings::UserScope, "QtProject").fileName()));

    // A name that cannot be written says why, and leaves nothing behind.
    const QString refused = base + ".txt/inside.pdf";
    EXPECT_EQ(form->SavePage(refused), "Could not save " + refused.toStdString() + ": Not a directory.");
    EXPECT_FALSE(std::filesystem::exists(dir() / "page.txt" / "inside.pdf.part"));
}

// Two thousand full pages saved as a PDF while the host prints: the printer takes a byte
// at every tick while the file is made and written, and the file comes whole.
TEST_F(Window, PrintingGoesOnWhileALongSaveIsWritten) {
    auto* button = form->findChild<QPushButton*>("NewPage");
    for (int page = 0; page < 2000; ++page) {
        for (int line = 0; line < 19; ++line) {
            for (int column = 0; column < 26; ++column) General::PrintChar(std::string(1, char('A' + (line + column + page) % 26)));
            General::PrintChar("\r");
            General::PrintChar("\n");
        }
        button->click();
    }
    const std::filesystem::path all = dir() / "all.pdf";
    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();
    form->SaveInBackground({all, keep::Format::kPdf}, true);
    EXPECT_FALSE(std::filesystem::exists(all)) << "the save was made before the window could go on";
    int takenWhileSaving = 0;
    Clock::duration longest{};
    for (Clock::time_point last = Clock::now(); !std::filesystem::exists(all);) {
        setPort(130, 'x');
        ASSERT_TRUE(QTest::qWaitFor([&] { return port130Empty(); }, 2000)) << "a byte waited more than 2 s";
        if (!std::filesystem::exists(all)) ++takenWhileSaving;
        longest = std::max(longest, Clock::now() - last);
        last = Clock::now();
    }
    std::cout << "saved 2,001 pages in " << std::chrono::duration<double>(Clock::now() - started).count()
              << " s; " << takenWhileSaving << " bytes taken meanwhile, at most "
              << std::chrono::duration<double>(longest).count() << " s apart\n";
    EXPECT_EQ(pexal_test::Capture("pdfinfo '" + all.string() + "' | grep Pages: | tr -s ' '"), "Pages: 2001");
}

}  // namespace
