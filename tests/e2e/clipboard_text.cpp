// Prints the text on the X clipboard, for the window tests: the log copies its text
// there on Ctrl+C.
#include <QClipboard>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QByteArray text = QGuiApplication::clipboard()->text().toUtf8();
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    return text.isEmpty() ? 1 : 0;
}
