#pragma once

// Shared by the main-window tests: a temporary application folder holding the stand-in
// tool under the repair tool's name, recorded message boxes, and named-child lookup.

#include "platform/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <functional>

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

// An application folder with the stand-in linked in as "untrunc-w", and a folder for
// the videos.
class ToolFolder {
public:
    explicit ToolFolder(bool withTool = true) {
        QDir().mkpath(appFolder());
        QDir().mkpath(videoFolder());
        if (withTool) {
            QFile::link(QStringLiteral(KESTREL_STANDIN_PATH), appFolder() + "/untrunc-w");
        }
    }
    QString appFolder() const { return root_.filePath("app folder"); }
    QString videoFolder() const { return root_.filePath("My Videos"); }
    QString video(const QString& name) const { return videoFolder() + "/" + name; }

private:
    QTemporaryDir root_;
};

// Sets environment variables for the stand-in and clears them again.
using StandinVariables = QList<std::pair<QByteArray, QByteArray>>;

class StandinEnvironment {
public:
    StandinEnvironment(std::initializer_list<std::pair<const char*, QByteArray>> values) {
        for (const auto& [name, value] : values) {
            set(name, value);
        }
    }
    explicit StandinEnvironment(const StandinVariables& values) {
        for (const auto& [name, value] : values) {
            set(name, value);
        }
    }
    ~StandinEnvironment() {
        for (const QByteArray& name : names_) {
            qunsetenv(name.constData());
        }
    }
    StandinEnvironment(const StandinEnvironment&) = delete;
    StandinEnvironment& operator=(const StandinEnvironment&) = delete;

private:
    void set(const QByteArray& name, const QByteArray& value) {
        qputenv(name.constData(), value);
        names_.append(name);
    }

    QByteArrayList names_;
};

template <typename T> T* child(const QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        qWarning("no child named %s", name);
    }
    return found;
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
