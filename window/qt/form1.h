// The printer's one window, dressed as a sheet of tractor-feed paper. Creating it starts
// the printer: it homes the print head onto its page and polls the data port every
// 200 ms until it is destroyed. One at a time: it drives the program's one print head.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;
class Paper;

class Form1 : public QWidget {
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Form_Load();
    void NewPage_Click();
    void Timer1_Timer();

    QLabel* Label1;
    QPushButton* NewPage;
    class Paper* Paper;
    QLabel* Picture1;
    QTimer* Timer1;
};
