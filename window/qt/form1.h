// The printer's one window, dressed as a sheet of tractor-feed paper. Creating it starts
// the printer: it homes the print head onto its page and polls the data port every
// 200 ms until it is destroyed. One at a time: it drives the program's one print head.
#pragma once

#include <QString>
#include <QWidget>

#include <memory>
#include <string>

#include "window/session.h"
#include "window/sheet_picture.h"

class QLabel;
class QPagedPaintDevice;
class QPushButton;
class QTimer;
class Paper;

class Form1 : public QWidget {
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Keeping the page, as the page's context menu and the shortcuts ask (Ctrl+C, Ctrl+S,
    // Ctrl+Shift+S, Ctrl+P): the text to the clipboard; the page, or every page of this
    // run, to a file ("" when it worked, else why not); the sheet onto a printer.
    void CopyText();
    std::string SavePage(const QString& path);
    std::string SaveAllPages(const QString& path);
    // Pages `first` to `last` of the run, fitted to the printer's paper and centred.
    void PrintOn(QPagedPaintDevice& printer, int first, int last, const sheet::PrintChoice& choice);
    // What the save dialog's answer does: the file made and written while printing goes
    // on, and a failure shown once it is known.
    void SaveInBackground(const keep::Target& target, bool allPages);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Form_Load();
    void NewPage_Click();
    void Timer1_Timer();
    void AskToSave(bool allPages);
    void AskToPrint();
    void Do(printer::Action action);
    printer::KeepSources Sources();

    QLabel* Label1;
    QPushButton* NewPage;
    class Paper* Paper;
    QLabel* Picture1;
    QTimer* Timer1;
    std::unique_ptr<printer::Session> session_;
};
