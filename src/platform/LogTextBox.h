#pragma once

#include <QPlainTextEdit>
#include <QString>

// A read-only, multi-line, wrapping text box whose Text reads back exactly as written,
// CR LF pairs included. The view shows CR LF, a lone LF and a lone CR each as one line
// break. Writing the text raises Change at once, inside the write.
class LogTextBox : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit LogTextBox(QWidget* parent = nullptr);

    const QString& Text() const { return text_; }
    void setText(const QString& text);
    // Same result as setText(Text() + piece), at a cost that does not grow with the text.
    void appendText(const QString& piece);

    // Caret position counted in characters of Text.
    qsizetype SelStart() const;
    void setSelStart(qsizetype position);

signals:
    void Change();

private:
    QString text_;
};
