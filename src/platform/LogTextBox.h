#pragma once

#include "SpillingText.h"
#include "WrappedLines.h"

#include <QAbstractScrollArea>
#include <QString>

class QTimer;

// A read-only, multi-line, wrapping text box whose Text reads back exactly as written,
// CR LF pairs included. The view shows CR LF, a lone LF and a lone CR each as one line
// break, wraps long lines at its width, and can be scrolled, selected and copied from.
// Writing the text raises Change at once, inside the write.
//
// The box keeps the text once, past a few megabytes in a temporary file (see
// SpillingText.h), and lays out only what it shows: appending costs what is appended,
// however long the text or its last line already is. Changes made by the
// program reach the screen together, at most displayDelayMs later, so that a tool that
// writes fast costs one repaint per batch instead of one per append; Text, SelStart and
// the view's accessors are always up to date.
class LogTextBox : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit LogTextBox(QWidget* parent = nullptr);

    // The whole text, or a part of it.
    QString Text() const { return text_.Read(0, text_.Size()); }
    QString TextRange(qsizetype from, qsizetype count) const { return text_.Read(from, count); }
    qsizetype TextLength() const { return text_.Size(); }
    void setText(const QString& text);
    // Same result as setText(Text() + piece), at a cost that does not grow with the text.
    void appendText(const QString& piece);

    // Caret position counted in characters of Text. Setting it clears the selection and
    // scrolls the caret into view.
    qsizetype SelStart() const { return caret_; }
    void setSelStart(qsizetype position);

    QString SelectedText() const;
    void selectAll();
    void copy() const;

    // The view: its lines after wrapping, the text it shows (each line break as one LF),
    // and the first line in view.
    qsizetype LineCount();
    QString LineText(qsizetype line);
    QString ShownText();
    qsizetype FirstShownLine();

    static constexpr int displayDelayMs = 40;

signals:
    void Change();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    static constexpr int textMargin = 4; // between the frame and the text

    void EnsureLayout();
    void Relayout();
    qreal WrapWidth() const;
    int LineHeight() const;
    int ShownLineCount() const;
    void UpdateScrollRange();
    void ScrollToCaret();
    void ScheduleView();
    void ShowNow();
    // Moves the caret; the user's moves show at once, the program's with the next batch.
    void MoveCaret(qsizetype position, bool keepAnchor, bool byUser = true);
    qsizetype PositionAt(QPoint point);
    qsizetype PositionInLine(qsizetype line, qreal x);
    // The line's characters, its line break included.
    QString RawLine(qsizetype line) const;
    void PaintLine(QPainter& painter, qsizetype line, int top);

    SpillingText text_;
    CharWidths widths_;
    WrappedLines lines_;
    bool layoutValid_ = false;
    qsizetype caret_ = 0;
    qsizetype anchor_ = 0;
    bool followCaret_ = false; // scroll the caret into view with the next batch
    QTimer* batch_;
};
