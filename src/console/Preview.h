#pragma once

#include <QString>

// The outside player, looked for in the application folder.
inline QString playerName() {
    return QStringLiteral("ffplay");
}

// The player's command line for a video: the player's path, one blank, the video's
// path. A path holding a blank, a tab or a double quote is quoted.
QString PlayerCommandLine(const QString& appFolder, const QString& video);

// What the user is told when the player cannot be started.
QString PlayerNotStartedMessage(const QString& appFolder);
