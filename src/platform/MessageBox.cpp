#include "MessageBox.h"

#include "AppTitle.h"

#include <QApplication>
#include <QMessageBox>

namespace {

MessageHandler& currentHandler() {
    static MessageHandler handler;
    return handler;
}

void showRealBox(const QString& text, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon,
                    appTitle(), text, QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("kestrelMessageBox"));
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
