#include "window/qt/paper_accessible.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QWindow>

#include <algorithm>

#include "window/qt/paper.h"
#include "window/sheet.h"

namespace {

General::TextUnit UnitOf(QAccessible::TextBoundaryType type) {
    switch (type) {
        case QAccessible::CharBoundary: return General::TextUnit::Character;
        case QAccessible::WordBoundary: return General::TextUnit::Word;
        case QAccessible::SentenceBoundary: return General::TextUnit::Sentence;
        case QAccessible::ParagraphBoundary: return General::TextUnit::Paragraph;
        case QAccessible::LineBoundary: return General::TextUnit::Line;
        case QAccessible::NoBoundary: break;
    }
    return General::TextUnit::All;
}

QString Spanned(const General::Reading& reading, General::TextSpan span, int* start, int* end) {
    *start = span.start;
    *end = span.end;
    return QString::fromStdU16String(reading.Text().substr(span.start, span.end - span.start));
}

}  // namespace

PaperAccessible::PaperAccessible(Paper* paper)
    : QAccessibleWidget(paper, QAccessible::Terminal, QString::fromUtf16(sheet::kPageName)) {}

QAccessibleInterface* PaperAccessible::Factory(const QString&, QObject* object) {
    if (auto* paper = dynamic_cast<Paper*>(object)) return new PaperAccessible(paper);
    if (auto* announcer = dynamic_cast<Announcer*>(object)) {
        return new QAccessibleWidget(announcer, QAccessible::Notification);
    }
    return nullptr;
}

Paper* PaperAccessible::paper() const { return static_cast<Paper*>(widget()); }

const General::Reading& PaperAccessible::reading() const {
    static const General::Reading kNothingPrinted;
    const printer::Session* session = paper()->session();
    return session != nullptr ? session->Reading() : kNothingPrinted;
}

// A reader with the page focused hears printed text from the insertion at its caret (as
// in a terminal); anywhere else, and for what is not an insertion, from a notification,
// the one channel Orca 43 presents from a Qt program wherever the focus is (its role word
// in front: the reading model says printed words in phrases). Tried and dropped: a change
// of the focused object's name or description, which Orca would say as it is, but Qt 6.4
// sends the object instead of the text with it, and Orca cannot read it.
void PaperAccessible::Tell(Paper* paper, const General::ReadingNews& news) {
    if (!QAccessible::isActive() || paper->session() == nullptr) return;
    if (news.textChanged) {
        const QString removed = QString::fromStdU16String(news.removed);
        const QString inserted = QString::fromStdU16String(news.inserted);
        if (removed.isEmpty()) {
            // A line at a time: Orca's terminal support widens an insertion that spans lines
            // to the whole of its first line, which it has already said.
            for (qsizetype from = 0; from < inserted.size();) {
                const qsizetype feed = inserted.indexOf(u'\n', from);
                const qsizetype end = feed < 0 ? inserted.size() : feed == from ? feed + 1 : feed;
                QAccessibleTextInsertEvent event(paper, news.at + static_cast<int>(from), inserted.mid(from, end - from));
                QAccessible::updateAccessibility(&event);
                from = end;
            }
        } else if (inserted.isEmpty()) {
            QAccessibleTextRemoveEvent event(paper, news.at, removed);
            QAccessible::updateAccessibility(&event);
        } else {
            QAccessibleTextUpdateEvent event(paper, news.at, removed, inserted);
            QAccessible::updateAccessibility(&event);
        }
    }
    if (news.caretMoved) {
        QAccessibleTextCursorEvent event(paper, paper->session()->Reading().Caret());
        QAccessible::updateAccessibility(&event);
    }
    if (!news.announcement.empty() && !news.heardInInsertion) {
        // Found by name: a class without Q_OBJECT is any QWidget to findChild.
        auto* announcer = static_cast<Announcer*>(
            paper->window()->findChild<QWidget*>(Announcer::kName, Qt::FindDirectChildrenOnly));
        if (announcer == nullptr) announcer = new Announcer(paper->window());
        announcer->Say(QString::fromStdU16String(news.announcement));
    }
}

void* PaperAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString PaperAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Name) return QString::fromUtf16(sheet::kPageName);
    if (t == QAccessible::Description) return QString::fromUtf16(sheet::kPageDescription);
    if (t == QAccessible::Value) return QString::fromStdU16String(reading().Text());
    return QAccessibleWidget::text(t);
}

QAccessible::State PaperAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.multiLine = true;
    state.editable = false;
    return state;
}

int PaperAccessible::cursorPosition() const { return reading().Caret(); }

void PaperAccessible::setCursorPosition(int position) {
    if (printer::Session* session = paper()->session()) paper()->Tell(session->PutCaret(position));
}

// One run of plain text: a reader takes the run's end as the end of what it may read.
QString PaperAccessible::attributes(int, int* startOffset, int* endOffset) const {
    *startOffset = 0;
    *endOffset = characterCount();
    return QString();
}

QString PaperAccessible::text(int startOffset, int endOffset) const {
    const QString all = QString::fromStdU16String(reading().Text());
    if (endOffset < 0 || endOffset > all.size()) endOffset = static_cast<int>(all.size());
    if (startOffset < 0 || startOffset >= endOffset) return QString();
    return all.mid(startOffset, endOffset - startOffset);
}

// Qt's own versions of these three loop for ever at the end of the text.
QString PaperAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType type,
                                          int* startOffset, int* endOffset) const {
    return Spanned(reading(), reading().Before(offset, UnitOf(type)), startOffset, endOffset);
}

QString PaperAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType type,
                                         int* startOffset, int* endOffset) const {
    return Spanned(reading(), reading().After(offset, UnitOf(type)), startOffset, endOffset);
}

QString PaperAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType type,
                                      int* startOffset, int* endOffset) const {
    return Spanned(reading(), reading().At(offset, UnitOf(type)), startOffset, endOffset);
}

int PaperAccessible::characterCount() const { return reading().Length(); }

// The character's cell, in screen coordinates.
QRect PaperAccessible::characterRect(int offset) const {
    General::PixelBox box;
    if (!reading().BoxOf(offset, &box)) return QRect();
    return QRect(paper()->mapToGlobal(QPoint(box.x, box.y)), QSize(box.width, box.height));
}

int PaperAccessible::offsetAtPoint(const QPoint& point) const {
    const QPoint at = paper()->mapFromGlobal(point);
    return reading().OffsetAt(at.x(), at.y());
}

Announcer::Announcer(QWidget* window) : QWidget(window) {
    setObjectName(kName);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(0, 0, 0, 0);
}

// Orca speaks a notification when it starts to show.
void Announcer::Say(const QString& sentence) {
    hide();
    setAccessibleName(sentence);
    show();
}

namespace {

// One of GetBoundedRanges' answers: a run of text, as AT-SPI's RangeList holds it (iisv).
struct BoundedRange {
    int start = 0, end = 0;
    QString text;
};

QDBusArgument& operator<<(QDBusArgument& out, const BoundedRange& range) {
    out.beginStructure();
    out << range.start << range.end << range.text << QDBusVariant(QString());
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, BoundedRange& range) {
    QDBusVariant value;
    in.beginStructure();
    in >> range.start >> range.end >> range.text >> value;
    in.endStructure();
    return in;
}

}  // namespace

Q_DECLARE_METATYPE(BoundedRange)

// Qt 6.4's bridge answers GetRangeExtents by asking for each character's rectangle from
// the start to the end given, however far beyond the text that lies, and GetBoundedRanges
// not at all. Both are answered here, in front of it, over the text that is there; every
// other call goes on to the bridge.
class RangeGuard final : public QDBusVirtualObject {
public:
    explicit RangeGuard(QDBusVirtualObject* bridge) : bridge_(bridge) {
        qDBusRegisterMetaType<BoundedRange>();
        qDBusRegisterMetaType<QList<BoundedRange>>();
    }

    QString introspect(const QString& path) const override { return bridge_->introspect(path); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const bool extents = message.member() == QLatin1String("GetRangeExtents") && message.arguments().size() == 3;
        const bool bounded = message.member() == QLatin1String("GetBoundedRanges") && message.arguments().size() == 7;
        if (!extents && !bounded) return bridge_->handleMessage(message, connection);
        // The object's number is the path's last part; "root" is the application.
        QAccessibleInterface* object = QAccessible::accessibleInterface(message.path().section(u'/', -1).toUInt());
        QAccessibleTextInterface* text = object != nullptr ? object->textInterface() : nullptr;
        if (text == nullptr) return bridge_->handleMessage(message, connection);
        const QList<QVariant> arguments = message.arguments();
        // Relative to the window (coordinate type 1) or to the screen.
        const QPoint origin = arguments[bounded ? 4 : 2].toUInt() == 1 && object->window() != nullptr
                                  ? object->window()->geometry().topLeft()
                                  : QPoint();
        const int count = text->characterCount();
        if (bounded) {
            const QRect box(arguments[0].toInt() + origin.x(), arguments[1].toInt() + origin.y(),
                            arguments[2].toInt(), arguments[3].toInt());
            QList<BoundedRange> ranges;
            for (int k = 0; k < count; ++k) {
                if (!text->characterRect(k).intersects(box)) continue;
                if (ranges.isEmpty() || ranges.back().end != k) ranges.append({k, k, {}});
                ranges.back().end = k + 1;
            }
            for (BoundedRange& range : ranges) range.text = text->text(range.start, range.end);
            connection.send(message.createReply(QVariant::fromValue(ranges)));
            return true;
        }
        const int start = std::clamp(arguments[0].toInt(), 0, count);
        int end = arguments[1].toInt();
        end = end < 0 ? count : std::clamp(end, start, count);
        QRect rect;
        for (int k = start; k < end; ++k) rect |= text->characterRect(k);
        rect.translate(-origin);
        connection.send(message.createReply(QVariantList{rect.x(), rect.y(), rect.width(), rect.height()}));
        return true;
    }

private:
    QDBusVirtualObject* bridge_;
};

void GuardRangeExtents() {
    if (!QAccessible::isActive()) return;  // no bridge without a listener
    static RangeGuard* guard = nullptr;
    const QString path = QStringLiteral("/org/a11y/atspi/accessible");
    QDBusConnection bus(QStringLiteral("a11y"));  // the bridge's connection, by its name
    if (!bus.isConnected()) return;
    QObject* registered = bus.objectRegisteredAt(path);
    auto* bridge = qobject_cast<QDBusVirtualObject*>(registered);
    if (bridge == nullptr || registered == guard) return;
    delete guard;
    guard = new RangeGuard(bridge);
    bus.unregisterObject(path, QDBusConnection::UnregisterTree);
    if (!bus.registerVirtualObject(path, guard, QDBusConnection::SubPath)) {
        bus.registerVirtualObject(path, bridge, QDBusConnection::SubPath);  // as it was
    }
}
