#pragma once

// Shared by the window, picker and runner tests: message boxes recorded instead of shown,
// environment variables for the stand-in tool set for one scope, files written and read.

#include "StandinFormat.h"
#include "platform/MessageBox.h"

#include <QFile>
#include <QList>
#include <QStringList>
#include <QTest>
#include <functional>
#include <optional>
#include <string>

struct ShownMessage {
    QString text;
    MessageIcon icon;
};

// Records every message box instead of showing it; runs onShow (if set) inside it,
// while the box would be open.
class MessageRecorder {
public:
    MessageRecorder() {
        previous_ = SetMessageHandler([this](const QString& text, MessageIcon icon) {
            shown.append({text, icon});
            if (onShow) {
                onShow(text);
            }
        });
    }
    ~MessageRecorder() { SetMessageHandler(previous_); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    QStringList texts() const {
        QStringList out;
        for (const ShownMessage& m : shown) {
            out.append(m.text);
        }
        return out;
    }

    QList<ShownMessage> shown;
    std::function<void(const QString&)> onShow;

private:
    MessageHandler previous_;
};

// Sets environment variables (for the stand-in, say) and puts back what was there.
using Variables = QList<std::pair<QByteArray, QByteArray>>;

class ScopedEnvironment {
public:
    ScopedEnvironment(std::initializer_list<std::pair<QByteArray, QByteArray>> values)
        : ScopedEnvironment(Variables(values)) {}
    explicit ScopedEnvironment(const Variables& values) {
        for (const auto& [name, value] : values) {
            const bool set = qEnvironmentVariableIsSet(name.constData());
            before_.append({name, set ? std::optional(qgetenv(name.constData())) : std::nullopt});
            qputenv(name.constData(), value);
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : before_) {
            value ? qputenv(name.constData(), *value) : qunsetenv(name.constData());
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    QList<std::pair<QByteArray, std::optional<QByteArray>>> before_;
};

// The stand-in's blocks from..to (1-based), as the tool writes them.
inline QString standinBlocks(int from, int to) {
    std::string text;
    for (int i = from; i <= to; ++i) {
        text += standin::Block(i);
    }
    return QString::fromStdString(text);
}

inline void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline QStringList readLines(const QString& path) {
    return QString::fromUtf8(readAll(path)).split(u'\n', Qt::SkipEmptyParts);
}
