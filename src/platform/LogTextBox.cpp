#include "LogTextBox.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

namespace {

// Characters of text that the view does not show: the LF of each CR LF pair.
qsizetype hiddenBefore(const QString& text, qsizetype position) {
    qsizetype hidden = 0;
    for (qsizetype i = 1; i < position && i < text.size(); ++i) {
        if (text.at(i) == u'\n' && text.at(i - 1) == u'\r') {
            ++hidden;
        }
    }
    return hidden;
}

} // namespace

LogTextBox::LogTextBox(QWidget* parent) : QPlainTextEdit(parent), batch_(new QTimer(this)) {
    batch_->setSingleShot(true);
    batch_->setInterval(displayDelayMs);
    connect(batch_, &QTimer::timeout, this, &LogTextBox::showPending);
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUndoRedoEnabled(false);
}

void LogTextBox::setText(const QString& text) {
    batch_->stop();
    pending_.clear();
    caretAtEnd_ = false;
    text_ = text;
    // The document turns CR LF, CR and LF each into one paragraph break.
    setPlainText(text);
    emit Change();
}

void LogTextBox::appendText(const QString& piece) {
    if (piece.isEmpty()) {
        return;
    }
    QStringView shown(piece);
    if (text_.endsWith(u'\r') && piece.startsWith(u'\n')) {
        shown = shown.mid(1); // the break was already shown for the CR
    }
    text_.append(piece);
    pending_.append(shown);
    if (!batch_->isActive()) {
        batch_->start();
    }
    emit Change();
}

void LogTextBox::showPending() {
    batch_->stop();
    if (!pending_.isEmpty()) {
        QTextCursor end(document());
        end.movePosition(QTextCursor::End);
        end.insertText(pending_);
        pending_.clear();
    }
    if (caretAtEnd_) {
        caretAtEnd_ = false;
        placeCaret(text_.size());
    }
}

qsizetype LogTextBox::SelStart() {
    showPending();
    const qsizetype shownPosition = textCursor().position();
    // Walk Text until as many shown characters have passed.
    qsizetype shown = 0;
    qsizetype i = 0;
    for (; i < text_.size() && shown < shownPosition; ++i) {
        const bool hidden = text_.at(i) == u'\n' && i > 0 && text_.at(i - 1) == u'\r';
        if (!hidden) {
            ++shown;
        }
    }
    // Step over the LF of a CR LF the caret stands inside.
    if (i < text_.size() && i > 0 && text_.at(i) == u'\n' && text_.at(i - 1) == u'\r') {
        ++i;
    }
    return i;
}

void LogTextBox::setSelStart(qsizetype position) {
    if (position >= text_.size() && batch_->isActive()) {
        caretAtEnd_ = true; // placed when the batch is shown
        return;
    }
    showPending();
    placeCaret(position);
}

void LogTextBox::placeCaret(qsizetype position) {
    QTextCursor cursor(document());
    if (position >= text_.size()) {
        cursor.movePosition(QTextCursor::End);
    } else {
        const qsizetype clamped = std::max<qsizetype>(position, 0);
        cursor.setPosition(static_cast<int>(clamped - hiddenBefore(text_, clamped)));
    }
    setTextCursor(cursor);
    ensureCursorVisible();
}
