#pragma once

#include <QPlainTextEdit>
#include <QString>

class QTimer;

// A read-only, multi-line, wrapping text box whose Text reads back exactly as written,
// CR LF pairs included. The view shows CR LF, a lone LF and a lone CR each as one line
// break. Writing the text raises Change at once, inside the write.
//
// Appends reach the view in batches, at most displayDelayMs later, so that a tool that
// writes fast costs one layout per batch instead of one per append; Text and SelStart
// are always up to date.
class LogTextBox : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit LogTextBox(QWidget* parent = nullptr);

    const QString& Text() const { return text_; }
    void setText(const QString& text);
    // Same result as setText(Text() + piece), at a cost that does not grow with the text.
    void appendText(const QString& piece);

    // Caret position counted in characters of Text.
    qsizetype SelStart();
    void setSelStart(qsizetype position);

    // Brings the view up to date now instead of at the end of the batch.
    void showPending();

    static constexpr int displayDelayMs = 40;

signals:
    void Change();

private:
    void placeCaret(qsizetype position);

    QString text_;
    QString pending_;         // shown text not yet in the view
    bool caretAtEnd_ = false; // the caret follows the end once the batch is shown
    QTimer* batch_;
};
