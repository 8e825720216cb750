#include "Launch.h"

#include "CommandLineRules.h"

#include <QDesktopServices>
#include <QProcess>

namespace {

UrlOpener& currentOpener() {
    static UrlOpener opener;
    return opener;
}

} // namespace

bool StartDetached(const QString& commandLine) {
    QStringList arguments = SplitCommandLine(commandLine);
    if (arguments.isEmpty()) {
        return false;
    }
    const QString program = arguments.takeFirst();
    return QProcess::startDetached(program, arguments);
}

bool OpenWebAddress(const QString& address) {
    QUrl url = QUrl::fromUserInput(address);
    if (url.scheme().isEmpty()) {
        url.setScheme(QStringLiteral("http"));
    }
    const UrlOpener opener = currentOpener();
    return opener ? opener(url) : QDesktopServices::openUrl(url);
}

UrlOpener SetUrlOpener(UrlOpener opener) {
    return std::exchange(currentOpener(), std::move(opener));
}
