// What the user does in the log box: select with the mouse or the keyboard, copy.

#include "LogTextBox.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>

namespace {

bool isWordCharacter(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

// One step through the text, over a CR LF or a surrogate pair as one.
qsizetype step(const SpillingText& text, qsizetype position, int direction) {
    const qsizetype next = std::clamp<qsizetype>(position + direction, 0, text.Size());
    if (next <= 0 || next >= text.Size()) {
        return next;
    }
    const QString around = text.Read(next - 1, 2);
    const bool inCrLf = around == QStringLiteral("\r\n");
    const bool inPair = around[0].isHighSurrogate() && around[1].isLowSurrogate();
    return inCrLf || inPair ? next + direction : next;
}

// How far a word is looked for on either side of a double click.
constexpr qsizetype wordReach = 256;

} // namespace

void LogTextBox::copy() const {
    const QString selected = SelectedText();
    if (!selected.isEmpty()) {
        QApplication::clipboard()->setText(selected);
    }
}

qsizetype LogTextBox::PositionAt(QPoint point) {
    EnsureLayout();
    // Against what the screen shows, even while a batch is pending.
    const qsizetype line = std::clamp<qsizetype>(verticalScrollBar()->value() +
                                                     (point.y() - textMargin) / LineHeight(),
                                                 0, lines_.Count() - 1);
    return lines_.Start(line) + lines_.OffsetAt(RawLine(line), point.x() - textMargin);
}

qsizetype LogTextBox::PositionInLine(qsizetype line, qreal x) {
    line = std::clamp<qsizetype>(line, 0, lines_.Count() - 1);
    return lines_.Start(line) + lines_.OffsetAt(RawLine(line), x);
}

void LogTextBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    MoveCaret(PositionAt(event->position().toPoint()),
              event->modifiers().testFlag(Qt::ShiftModifier));
}

void LogTextBox::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons().testFlag(Qt::LeftButton)) {
        MoveCaret(PositionAt(event->position().toPoint()), true);
    }
}

void LogTextBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const qsizetype at = PositionAt(event->position().toPoint());
    const qsizetype first = std::max<qsizetype>(0, at - wordReach);
    const QString around = text_.Read(first, at + wordReach - first);
    qsizetype from = at - first;
    qsizetype to = from;
    while (from > 0 && isWordCharacter(around[from - 1])) {
        --from;
    }
    while (to < around.size() && isWordCharacter(around[to])) {
        ++to;
    }
    anchor_ = first + from;
    MoveCaret(first + to, true);
}

void LogTextBox::keyPressEvent(QKeyEvent* event) {
    if (event == QKeySequence::Copy) {
        copy();
        return;
    }
    if (event == QKeySequence::SelectAll) {
        selectAll();
        return;
    }
    EnsureLayout();
    const bool extend = event->modifiers().testFlag(Qt::ShiftModifier);
    const bool whole = event->modifiers().testFlag(Qt::ControlModifier);
    const qsizetype line = lines_.LineOf(caret_);
    const QString raw = RawLine(line);
    const qreal x = lines_.XOf(raw, caret_ - lines_.Start(line));
    qsizetype to = 0;
    switch (event->key()) {
    case Qt::Key_Left:
        to = step(text_, caret_, -1);
        break;
    case Qt::Key_Right:
        to = step(text_, caret_, 1);
        break;
    case Qt::Key_Up:
        to = line > 0 ? PositionInLine(line - 1, x) : 0;
        break;
    case Qt::Key_Down:
        to = line + 1 < lines_.Count() ? PositionInLine(line + 1, x) : text_.Size();
        break;
    case Qt::Key_PageUp:
        to = PositionInLine(line - ShownLineCount(), x);
        break;
    case Qt::Key_PageDown:
        to = PositionInLine(line + ShownLineCount(), x);
        break;
    case Qt::Key_Home:
        to = whole ? 0 : lines_.Start(line);
        break;
    case Qt::Key_End:
        to = whole ? text_.Size() : lines_.Start(line) + WrappedLines::ContentLength(raw);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    MoveCaret(to, extend);
}

void LogTextBox::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copyAction = menu.addAction(tr("&Copy"), this, &LogTextBox::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(anchor_ != caret_);
    QAction* all = menu.addAction(tr("Select All"), this, &LogTextBox::selectAll);
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(text_.Size() > 0);
    menu.exec(event->globalPos());
}

void LogTextBox::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void LogTextBox::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}
