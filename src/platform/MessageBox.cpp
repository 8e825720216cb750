#include "MessageBox.h"

#include "AppTitle.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>

namespace {

constexpr int minimumBoxWidth = 240;

MessageHandler& currentHandler() {
    static MessageHandler handler;
    return handler;
}

void showRealBox(const QString& text, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon,
                    appTitle(), text, QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("kestrelMessageBox"));
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
