#include "window/qt/form1.h"

#include <QIcon>
#include <QPixmap>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include "common/facts.h"
#include "port/poll_port.h"
#include "printhead/general.h"
#include "window/qt/decoration.h"
#include "window/qt/pam.h"
#include "window/qt/paper.h"
#include "window/qt/printer_font.h"
#include "window/sheet.h"

namespace {

QFont SansFont(qreal points) {
    QFont font(PrinterFontFamily());
    font.setPointSizeF(points);
    return font;
}

template <typename Control>
Control* Place(Control* control, const sheet::Control& where) {
    control->setObjectName(where.name);
    control->setGeometry(ToPixels(where.box));
    return control;
}

}  // namespace

Form1::Form1(QWidget* parent) : QWidget(parent) {
    Q_INIT_RESOURCE(window);
    setWindowTitle(sheet::kCaption);
    // Raw pixels, not image files: QIcon and QImageReader would look among the icon-engine
    // and image-format plugins for one that reads the file, loading the SVG library, JPEG
    // and more at start-up.
    setWindowIcon(QIcon(QPixmap::fromImage(ReadPam(":/window/pexal-printer.pam"))));
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
    Picture1->setAccessibleName("Printer");
    Picture1->setAccessibleDescription("A picture of a printer");
    const bool dense = devicePixelRatio() > 1;
    QPixmap illustration = QPixmap::fromImage(
        ReadPam(dense ? ":/window/printer@2x.pam" : ":/window/printer.pam"));
    illustration.setDevicePixelRatio(dense ? 2 : 1);
    Picture1->setPixmap(illustration);
    Picture1->setAlignment(Qt::AlignCenter);
    Picture1->setAutoFillBackground(true);

    QWidget* const inTabOrder[] = {Label1, NewPage, Paper, Picture1};  // as sheet::kTabOrder
    static_assert(std::size(inTabOrder) == sheet::kTabOrder.size());
    for (std::size_t k = 0; k + 1 < std::size(inTabOrder); ++k) {
        setTabOrder(inTabOrder[k], inTabOrder[k + 1]);
    }

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
    Paper->Clear();
    General::HomeHead();
}

void Form1::Timer1_Timer() {
    PollPort();
    Paper->Tick(General::PosX, General::PosY);
}

void Form1::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawPerforations(painter);
    DrawSprocketHoles(painter);
}
