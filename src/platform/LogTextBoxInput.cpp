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
qsizetype step(const QString& text, qsizetype position, int direction) {
    const qsizetype next = std::clamp<qsizetype>(position + direction, 0, text.size());
    if (next <= 0 || next >= text.size()) {
        return next;
    }
    const bool inCrLf = text[next - 1] == u'\r' && text[next] == u'\n';
    const bool inPair = text[next - 1].isHighSurrogate() && text[next].isLowSurrogate();
    return inCrLf || inPair ? next + direction : next;
}

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
    return lines_.PositionAt(text_, line, point.x() - textMargin);
}

qsizetype LogTextBox::PositionInLine(qsizetype line, qreal x) {
    line = std::clamp<qsizetype>(line, 0, lines_.Count() - 1);
    return lines_.PositionAt(text_, line, x);
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
    qsizetype from = at;
    qsizetype to = at;
    while (from > 0 && isWordCharacter(text_[from - 1])) {
        --from;
    }
    while (to < text_.size() && isWordCharacter(text_[to])) {
        ++to;
    }
    anchor_ = from;
    MoveCaret(to, true);
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
    const qreal x = lines_.XOf(text_, line, caret_);
    qsizetype to = caret_;
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
        to = line + 1 < lines_.Count() ? PositionInLine(line + 1, x) : text_.size();
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
        to = whole ? text_.size() : lines_.ContentEnd(text_, line);
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
    all->setEnabled(!text_.isEmpty());
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
