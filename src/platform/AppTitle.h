#pragma once

#include <QString>

// Title of every message box and the application's display name.
inline QString appTitle() {
    return QStringLiteral("Kestrel");
}
