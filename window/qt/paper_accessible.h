// The page as assistive technology finds it (AT-SPI on Linux): read-only text named
// "Page", whose text is what the page says, with each character's cell on screen. The
// page raises the text-changed events itself.
#pragma once

#include <QAccessibleWidget>

class Paper;

class PaperAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit PaperAccessible(Paper* paper);

    // For QAccessible::installFactory: the interface of a Paper, nullptr for anything else.
    static QAccessibleInterface* Factory(const QString& className, QObject* object);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;

    // Nothing can be selected and there is no caret: the page is read, not edited.
    void selection(int, int* startOffset, int* endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;

private:
    Paper* paper() const;
};
