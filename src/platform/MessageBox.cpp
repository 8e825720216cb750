#include "MessageBox.h"

#include "AppTitle.h"

#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMessageBox>

namespace {

constexpr int minimumBoxWidth = 240;

// Ctrl+C copies the whole text, as message boxes do on Windows; Qt offers it there only.
class CopyableBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->matches(QKeySequence::Copy)) {
            QApplication::clipboard()->setText(text());
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
};

MessageHandler& currentHandler() {
    static MessageHandler handler;
    return handler;
}

void showRealBox(const QString& text, MessageIcon icon) {
    CopyableBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon,
                    appTitle(), text, QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("kestrelMessageBox"));
    // What a box says (a tool's reason, say) can be selected and copied.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A short text like "done" would give a box too narrow for its own title.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(
            new QSpacerItem(minimumBoxWidth, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
            grid->rowCount(), 0, 1, grid->columnCount());
    }
    box.exec();
}

} // namespace

void ShowMessage(const QString& text, MessageIcon icon) {
    // Copy first: a handler may install another one while it runs.
    const MessageHandler handler = currentHandler();
    if (handler) {
        handler(text, icon);
    } else {
        showRealBox(text, icon);
    }
}

MessageHandler SetMessageHandler(MessageHandler handler) {
    return std::exchange(currentHandler(), std::move(handler));
}
