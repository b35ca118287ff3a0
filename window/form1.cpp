#include "form1.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>
#include <QSvgWidget>
#include <QTimer>

#include "decoration.h"
#include "general.h"
#include "page_widget.h"
#include "poll_port.h"

namespace {

const QColor kPaperGreen(192, 255, 192);

QFont SansFont(qreal points) {
    QFont font(PrinterFontFamily());
    font.setPointSizeF(points);
    return font;
}

template <typename Control>
Control* Place(Control* control, const char* name, const QRect& geometry) {
    control->setObjectName(name);
    control->setGeometry(geometry);
    return control;
}

}  // namespace

Form1::Form1(QWidget* parent) : QWidget(parent) {
    Q_INIT_RESOURCE(window);
    setWindowTitle("Pexal Printer");
    setWindowIcon(QIcon(":/window/pexal-printer.png"));
    setFixedSize(FromTwips(0, 0, 4095, 5940).size());
    setFont(SansFont(9.75));
    QPalette green = palette();
    green.setColor(QPalette::Window, kPaperGreen);
    setPalette(green);
    setAutoFillBackground(true);

    Label1 = Place(new QLabel("Printer data port: 130", this), "Label1",
                   FromTwips(120, 120, 1575, 255));
    Label1->setFont(SansFont(8.25));

    NewPage = Place(new QPushButton("New page", this), "NewPage", FromTwips(240, 480, 1215, 375));
    NewPage->setFont(SansFont(9.75));
    connect(NewPage, &QPushButton::clicked, this, &Form1::NewPage_Click);

    Paper = Place(new PageWidget(this), "Paper", FromTwips(360, 1200, 3375, 4455));

    Picture1 = Place(new QSvgWidget(":/window/printer.svg", this), "Picture1",
                     FromTwips(2280, 120, 1335, 855));
    Picture1->renderer()->setAspectRatioMode(Qt::KeepAspectRatio);
    Picture1->setAutoFillBackground(true);

    setTabOrder(Label1, NewPage);
    setTabOrder(NewPage, Paper);
    setTabOrder(Paper, Picture1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(200);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    Timer1->start();

    // Ticks arrive only through the event loop, so the head is ready before the first.
    Form_Load();
}

Form1::~Form1() { General::SetPage(nullptr); }

void Form1::Form_Load() {
    General::SetPage(&Paper->page());
    General::InitPrinter();
    General::HomeHead();
}

void Form1::NewPage_Click() {
    Paper->page().Clear();
    General::HomeHead();
}

void Form1::Timer1_Timer() { PollPort(); }

void Form1::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawPerforations(painter);
    drawSprocketHoles(painter);
}
