#include "window/qt/paper_accessible.h"

#include "common/facts.h"
#include "window/qt/paper.h"

PaperAccessible::PaperAccessible(Paper* paper)
    : QAccessibleWidget(paper, QAccessible::EditableText, QStringLiteral("Page")) {}

QAccessibleInterface* PaperAccessible::Factory(const QString&, QObject* object) {
    auto* paper = dynamic_cast<Paper*>(object);
    return paper != nullptr ? new PaperAccessible(paper) : nullptr;
}

Paper* PaperAccessible::paper() const { return static_cast<Paper*>(widget()); }

void* PaperAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString PaperAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Name) return QStringLiteral("Page");
    if (t == QAccessible::Description) return QStringLiteral("What the printer has printed");
    if (t == QAccessible::Value) return paper()->Text();
    return QAccessibleWidget::text(t);
}

QAccessible::State PaperAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.multiLine = true;
    state.editable = false;
    return state;
}

void PaperAccessible::selection(int, int* startOffset, int* endOffset) const {
    *startOffset = *endOffset = 0;
}

QString PaperAccessible::attributes(int offset, int* startOffset, int* endOffset) const {
    *startOffset = *endOffset = offset;
    return QString();
}

QString PaperAccessible::text(int startOffset, int endOffset) const {
    const QString all = paper()->Text();
    if (endOffset < 0 || endOffset > all.size()) endOffset = static_cast<int>(all.size());
    if (startOffset < 0 || startOffset >= endOffset) return QString();
    return all.mid(startOffset, endOffset - startOffset);
}

int PaperAccessible::characterCount() const { return static_cast<int>(paper()->Text().size()); }

// The character's cell, in screen coordinates.
QRect PaperAccessible::characterRect(int offset) const {
    int column = 0, line = 0;
    if (offset < 0 || !paper()->text().CellOf(static_cast<std::size_t>(offset), &column, &line)) {
        return QRect();
    }
    const QPoint cell(pexal::kOriginX + column * pexal::kCellWidth,
                      pexal::kOriginY + line * pexal::kCellHeight);
    return QRect(paper()->mapToGlobal(cell), QSize(pexal::kCellWidth, pexal::kCellHeight));
}

int PaperAccessible::offsetAtPoint(const QPoint& point) const {
    const int count = characterCount();
    for (int offset = 0; offset < count; ++offset) {
        if (characterRect(offset).contains(point)) return offset;
    }
    return -1;
}
