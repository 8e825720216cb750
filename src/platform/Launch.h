#pragma once

#include <QString>
#include <QUrl>
#include <functional>

// Starts a program from a whole command line, split by the Windows command-line rules
// (see CommandLineRules.h), without a shell and without waiting for it. The program
// runs on its own and may outlive Kestrel. False when it could not be started.
bool StartDetached(const QString& commandLine);

// Opens a web address in the user's default browser. A bare host name is taken as an
// http address. The result is the opener's; callers may ignore it.
bool OpenWebAddress(const QString& address);

// Replaces how addresses are opened (tests record them). Returns the previous opener;
// an empty one restores the desktop's.
using UrlOpener = std::function<bool(const QUrl& url)>;
UrlOpener SetUrlOpener(UrlOpener opener);
