#include "Preview.h"

#include "platform/CommandLineRules.h"

namespace {

QString playerPath(const QString& appFolder, PathStyle style) {
    return appFolder + folderSeparator(style) + playerName();
}

} // namespace

QString PlayerCommandLine(const QString& appFolder, const QString& video, PathStyle style) {
    return QuoteArgument(playerPath(appFolder, style)) + u' ' + QuoteArgument(video);
}

QString PlayerNotStartedMessage(const QString& appFolder, PathStyle style) {
    return QStringLiteral("The video player could not be started. It was looked for as %1.")
        .arg(playerPath(appFolder, style));
}
