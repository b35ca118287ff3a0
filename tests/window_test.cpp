#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSvgRenderer>
#include <QTest>
#include <QTimer>

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
