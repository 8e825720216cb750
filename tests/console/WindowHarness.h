#pragma once

// Shared by the main-window tests: a temporary application folder holding the stand-in
// tool under the repair tool's name, named-child lookup, the window shown, and the event loop
// run until the program ends.

#include "console/frmDOSOutput.h"
#include "support/Harness.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

// An application folder with the stand-in linked in as "untrunc-w" (and as "ffplay" when
// asked), and a folder for the videos; both names hold a blank, the videos' a dot too.
class ToolFolder {
public:
    explicit ToolFolder(bool withTool = true, bool withPlayer = false) {
        QDir().mkpath(appFolder());
        QDir().mkpath(videoFolder());
        if (withTool) {
            QFile::link(QStringLiteral(KESTREL_STANDIN_PATH), appFolder() + "/untrunc-w");
        }
        if (withPlayer) {
            QFile::link(QStringLiteral(KESTREL_STANDIN_PATH), appFolder() + "/ffplay");
        }
    }
    QString appFolder() const { return root_.filePath("app folder"); }
    QString videoFolder() const { return root_.filePath("My Videos.2024"); }
    QString video(const QString& name) const { return videoFolder() + "/" + name; }

private:
    QTemporaryDir root_;
};

template <typename T> T* child(const QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        qWarning("no child named %s", name);
    }
    return found;
}

// Runs the event loop until the program ends or `ms` pass; true if it ended by itself.
inline bool programEndsAfter(const std::function<void()>& action, int ms = 5000) {
    bool timedOut = false;
    QTimer::singleShot(0, action);
    QTimer::singleShot(ms, [&timedOut] {
        timedOut = true;
        QApplication::exit(1);
    });
    return QApplication::exec() == 0 && !timedOut;
}

inline bool showWindow(QWidget& window) {
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}

// Enabled states of Execute, Exit and the two browse buttons.
inline QList<bool> runButtonStates(const QWidget& window) {
    QList<bool> states;
    for (const char* name : {"cmdExecute", "cmdExit", "Command1", "Command2"}) {
        states.append(child<QPushButton>(window, name)->isEnabled());
    }
    return states;
}

inline const QList<bool> allEnabled{true, true, true, true};
inline const QList<bool> allDisabled{false, false, false, false};
