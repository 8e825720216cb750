#pragma once

// Shared by the runner tests: the window's log options as the runner sees them, a
// listener, the stand-in tool's command line, and the processes a run leaves.

#include "platform/CommandLineRules.h"
#include "runner/DOSOutputs.h"
#include "support/Harness.h"

#include <QDir>
#include <functional>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace runnertest {

enum class Level { None, Default, Verbose };

// The window's three options as the runner sees them; counts how often it looks.
class Levels : public LogLevelView {
public:
    explicit Levels(Level start = Level::Default) : level(start) {}
    Level level;
    mutable int reads = 0;

    bool logNoneSelected() const override {
        ++reads;
        return level == Level::None;
    }
    bool logDefaultOrVerboseSelected() const override { return level != Level::None; }
};

// Listens the way the window must: directly, running to its end inside the emit.
struct Listener {
    QStringList events;
    std::function<void(const QString&)> also;

    explicit Listener(DOSOutputs& runner) {
        QObject::connect(
            &runner, &DOSOutputs::ReceiveOutputs, &runner,
            [this](const QString& text) {
                events.append(text);
                if (also) {
                    also(text);
                }
            },
            Qt::DirectConnection);
    }
};

inline QString standinPath() {
    return QStringLiteral(KESTREL_STANDIN_PATH);
}

inline QString standinLine(const QString& arguments = QString()) {
    return QuoteArgument(standinPath()) + arguments;
}

inline QString block(int index) {
    return standinBlocks(index, index);
}

struct Process {
    pid_t pid;
    char state; // 'Z' for a zombie
};

// Processes whose parent is this process. With the test process made a subreaper, this
// also finds orphaned grandchildren.
inline std::vector<Process> Children() {
    std::vector<Process> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QByteArray line = readAll(QStringLiteral("/proc/%1/stat").arg(entry));
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toInt() == getpid()) {
            children.push_back({entry.toInt(), fields[0].isEmpty() ? '?' : fields[0][0]});
        }
    }
    return children;
}

} // namespace runnertest
