#pragma once

#include "SpillingBytes.h"

#include <QString>

// Text, append-only, kept as UTF-16 in SpillingBytes: past a few megabytes it lives in an
// unlinked temporary file, and what is read is read from there.
class SpillingText {
public:
    void Clear() {
        bytes_.Clear();
        bytes_.Finish();
    }
    void Append(QStringView text) {
        bytes_.Append(QByteArrayView(reinterpret_cast<const char*>(text.utf16()),
                                     text.size() * qsizetype{sizeof(char16_t)}));
    }
    qsizetype Size() const { return bytes_.Size() / qsizetype{sizeof(char16_t)}; }

    // The stored characters within [from, from + count).
    QString Read(qsizetype from, qsizetype count) const {
        const QByteArray raw =
            bytes_.Read(from * qsizetype{sizeof(char16_t)}, count * qsizetype{sizeof(char16_t)});
        return QString(reinterpret_cast<const QChar*>(raw.constData()),
                       raw.size() / qsizetype{sizeof(char16_t)});
    }
    QChar At(qsizetype position) const {
        const QString c = Read(position, 1);
        return c.isEmpty() ? QChar() : c[0];
    }

private:
    SpillingBytes bytes_;
};
