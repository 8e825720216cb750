#pragma once

#include <QString>

// The maker's web address, shown as a bare host name.
inline QString makerHost() {
    return QStringLiteral("kestrel.example.org");
}
