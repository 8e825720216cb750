#include "LogTextBox.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>

LogTextBox::LogTextBox(QWidget* parent) : QAbstractScrollArea(parent), batch_(new QTimer(this)) {
    batch_->setSingleShot(true);
    batch_->setInterval(displayDelayMs);
    connect(batch_, &QTimer::timeout, this, &LogTextBox::ShowNow);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);
}

void LogTextBox::setText(const QString& text) {
    text_.Clear();
    text_.Append(text);
    caret_ = 0;
    anchor_ = 0;
    layoutValid_ = false;
    EnsureLayout();
    verticalScrollBar()->setValue(0);
    followCaret_ = false;
    emit Change();
}

void LogTextBox::appendText(const QString& piece) {
    if (piece.isEmpty()) {
        return;
    }
    text_.Append(piece);
    if (layoutValid_ && lines_.Width() == WrapWidth()) {
        lines_.Append(piece);
        ScheduleView();
    } else {
        EnsureLayout();
    }
    emit Change();
}

void LogTextBox::setSelStart(qsizetype position) {
    position = std::clamp<qsizetype>(position, 0, text_.Size());
    // Not between the CR and the LF of one line break.
    if (position > 0 && text_.Read(position - 1, 2) == QStringLiteral("\r\n")) {
        ++position;
    }
    MoveCaret(position, false, false);
}

QString LogTextBox::SelectedText() const {
    const qsizetype from = std::min(anchor_, caret_);
    return text_.Read(from, std::max(anchor_, caret_) - from);
}

void LogTextBox::selectAll() {
    anchor_ = 0;
    MoveCaret(text_.Size(), true);
}

qsizetype LogTextBox::LineCount() {
    EnsureLayout();
    return lines_.Count();
}

QString LogTextBox::LineText(qsizetype line) {
    EnsureLayout();
    QString text = RawLine(line);
    text.truncate(WrappedLines::ContentLength(text));
    return text;
}

QString LogTextBox::RawLine(qsizetype line) const {
    return text_.Read(lines_.Start(line), lines_.End(line) - lines_.Start(line));
}

QString LogTextBox::ShownText() {
    EnsureLayout();
    QString shown;
    for (qsizetype line = 0; line < lines_.Count(); ++line) {
        const QString raw = RawLine(line);
        const qsizetype content = WrappedLines::ContentLength(raw);
        shown += QStringView(raw).first(content);
        if (content < raw.size()) {
            shown += u'\n';
        }
    }
    return shown;
}

qsizetype LogTextBox::FirstShownLine() {
    ShowNow();
    return verticalScrollBar()->value();
}

void LogTextBox::EnsureLayout() {
    if (!layoutValid_ || lines_.Width() != WrapWidth()) {
        Relayout();
    }
}

// Lays the whole text out again (new width or font), keeping the first line in view.
void LogTextBox::Relayout() {
    const qsizetype firstLine = verticalScrollBar()->value();
    const qsizetype firstShown =
        layoutValid_ ? lines_.Start(std::min(firstLine, lines_.Count() - 1)) : 0;
    if (!layoutValid_) {
        widths_ = CharWidths([metrics = QFontMetricsF(font())](QStringView character) {
            return metrics.horizontalAdvance(character.toString());
        });
    }
    lines_.Reset(&widths_, WrapWidth());
    constexpr qsizetype chunk = qsizetype{1} << 20;
    for (qsizetype from = 0; from < text_.Size(); from += chunk) {
        lines_.Append(text_.Read(from, chunk));
    }
    layoutValid_ = true;
    UpdateScrollRange();
    verticalScrollBar()->setValue(static_cast<int>(lines_.LineOf(firstShown)));
    viewport()->update();
}

// From the box's own size, so that it holds before the box is first shown; the scroll
// bar is always there.
qreal LogTextBox::WrapWidth() const {
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
    return std::max(1, width() - 2 * frameWidth() - bar - 2 * textMargin);
}

int LogTextBox::LineHeight() const {
    return std::max(1, fontMetrics().lineSpacing());
}

int LogTextBox::ShownLineCount() const {
    return std::max(1, (height() - 2 * frameWidth() - textMargin) / LineHeight());
}

void LogTextBox::UpdateScrollRange() {
    QScrollBar* bar = verticalScrollBar();
    const int shown = ShownLineCount();
    bar->setPageStep(shown);
    bar->setSingleStep(1);
    bar->setRange(0, static_cast<int>(std::max<qsizetype>(0, lines_.Count() - shown)));
}

void LogTextBox::ScrollToCaret() {
    EnsureLayout();
    const qsizetype line = lines_.LineOf(caret_);
    const qsizetype first = verticalScrollBar()->value();
    const int shown = ShownLineCount();
    if (line < first) {
        verticalScrollBar()->setValue(static_cast<int>(line));
    } else if (line >= first + shown) {
        verticalScrollBar()->setValue(static_cast<int>(line - shown + 1));
    }
}

void LogTextBox::MoveCaret(qsizetype position, bool keepAnchor, bool byUser) {
    caret_ = position;
    if (!keepAnchor) {
        anchor_ = position;
    }
    followCaret_ = true;
    if (byUser) {
        ShowNow();
    } else {
        ScheduleView();
    }
}

void LogTextBox::ScheduleView() {
    if (!batch_->isActive()) {
        batch_->start();
    }
}

// Brings the scroll bar and the screen up to date with the text and the caret.
void LogTextBox::ShowNow() {
    batch_->stop();
    EnsureLayout();
    UpdateScrollRange();
    if (followCaret_) {
        followCaret_ = false;
        ScrollToCaret();
    }
    viewport()->update();
}

void LogTextBox::paintEvent(QPaintEvent* /*event*/) {
    EnsureLayout();
    QPainter painter(viewport());
    const int height = LineHeight();
    // The scroll bar may lag a batch behind the text: show what it says.
    const qsizetype first = std::min<qsizetype>(verticalScrollBar()->value(), lines_.Count() - 1);
    const qsizetype end = std::min(lines_.Count(), first + viewport()->height() / height + 1);
    for (qsizetype line = first; line < end; ++line) {
        PaintLine(painter, line, textMargin + static_cast<int>(line - first) * height);
    }
    const qsizetype caretLine = lines_.LineOf(caret_);
    if (hasFocus() && caretLine >= first && caretLine < end) {
        const qreal x =
            textMargin + lines_.XOf(RawLine(caretLine), caret_ - lines_.Start(caretLine));
        const int top = textMargin + static_cast<int>(caretLine - first) * height;
        painter.setPen(palette().color(QPalette::Text));
        painter.drawLine(QPointF(x, top), QPointF(x, top + height - 1));
    }
}

// Draws one line's text in pieces between tabs, each where the layout put it, and its
// selected part over a highlight.
void LogTextBox::PaintLine(QPainter& painter, qsizetype line, int top) {
    const qsizetype start = lines_.Start(line);
    const QString raw = RawLine(line);
    const qsizetype content = WrappedLines::ContentLength(raw);
    const int height = LineHeight();
    const int baseline = top + fontMetrics().ascent();
    const auto drawText = [&] {
        qsizetype piece = 0;
        for (qsizetype i = 0; i <= content; ++i) {
            if (i == content || raw[i] == u'\t') {
                const qreal x = textMargin + lines_.XOf(raw, piece);
                painter.drawText(QPointF(x, baseline), raw.mid(piece, i - piece));
                piece = i + 1;
            }
        }
    };
    painter.setPen(palette().color(QPalette::Text));
    drawText();

    const qsizetype from = std::max(std::min(anchor_, caret_) - start, qsizetype{0});
    const qsizetype to = std::min(std::max(anchor_, caret_) - start, raw.size());
    if (from >= to) {
        return;
    }
    const qreal left = textMargin + lines_.XOf(raw, from);
    // A selection that takes in the line break shows it as a little more.
    const qreal right =
        textMargin + lines_.XOf(raw, to) + (to > content ? fontMetrics().averageCharWidth() : 0);
    const QRectF selected(left, top, right - left, height);
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    painter.fillRect(selected, palette().color(group, QPalette::Highlight));
    painter.save();
    painter.setClipRect(selected);
    painter.setPen(palette().color(group, QPalette::HighlightedText));
    drawText();
    painter.restore();
}

void LogTextBox::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    EnsureLayout();
    UpdateScrollRange();
}

void LogTextBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        layoutValid_ = false;
        EnsureLayout();
    }
    QAbstractScrollArea::changeEvent(event);
}

void LogTextBox::scrollContentsBy(int /*dx*/, int /*dy*/) {
    viewport()->update();
}
