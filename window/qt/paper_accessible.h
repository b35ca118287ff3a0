// The page as assistive technology finds it (AT-SPI on Linux): a read-only terminal named
// "Page" (Orca speaks what a terminal prints), whose text, caret, units and cells are the
// session's reading model's, translated onto Qt's interface. Beside it, the window's
// announcer: a notification that says what the page announces.
#pragma once

#include <QAccessibleWidget>
#include <QWidget>

#include "printhead/reading.h"

class Paper;

class PaperAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit PaperAccessible(Paper* paper);

    // For QAccessible::installFactory: the interface of a Paper or an Announcer, nullptr
    // for anything else.
    static QAccessibleInterface* Factory(const QString& className, QObject* object);
    // Raises the events for what the reading model says happened on `paper`.
    static void Tell(Paper* paper, const General::ReadingNews& news);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;

    // Nothing can be selected: the page is read, not edited.
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                             int* endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                            int* endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                         int* endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;

private:
    Paper* paper() const;
    const General::Reading& reading() const;
};

// An invisible widget that is shown, named with the sentence, for each announcement: the
// one channel Orca 43 presents whatever has the focus.
class Announcer : public QWidget {
public:
    static constexpr char kName[] = "Announcer";
    explicit Announcer(QWidget* window);
    void Say(const QString& sentence);
};

// Qt 6.4's AT-SPI bridge answers GetRangeExtents by asking for every character's rectangle
// from the start offset through the end offset given, and with an end at the largest
// offset it never stops: any program on the accessibility bus could stop the printer.
// Put in front of the bridge once it is on the bus (called each tick, it does so once),
// a guard answers that call itself over the text that is there, and passes every other
// call on to the bridge.
void GuardRangeExtents();
