#include "Preview.h"

#include "platform/CommandLineRules.h"

namespace {

QString playerPath(const QString& appFolder) {
    return appFolder + u'/' + playerName();
}

} // namespace

QString PlayerCommandLine(const QString& appFolder, const QString& video) {
    return QuoteArgument(playerPath(appFolder)) + u' ' + QuoteArgument(video);
}

QString PlayerNotStartedMessage(const QString& appFolder) {
    return QStringLiteral("The video player could not be started. It was looked for as %1.")
        .arg(playerPath(appFolder));
}
