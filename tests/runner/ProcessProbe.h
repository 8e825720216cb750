#pragma once

// What tests see of the processes the runner starts: children of the test process,
// open descriptors.

#include <QDir>
#include <QFile>

#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace probe {

struct Process {
    pid_t pid;
    char state; // 'Z' for a zombie
};

// Processes whose parent is this process. With the test process made a subreaper, this
// also finds orphaned grandchildren.
inline std::vector<Process> Children() {
    std::vector<Process> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (!numeric) {
            continue;
        }
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray line = stat.readAll();
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toInt() == getpid()) {
            children.push_back({pid, fields[0].isEmpty() ? '?' : fields[0][0]});
        }
    }
    return children;
}

inline int ZombieCount() {
    int zombies = 0;
    for (const Process& child : Children()) {
        zombies += child.state == 'Z' ? 1 : 0;
    }
    return zombies;
}

inline int OpenDescriptorCount() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                                .size());
}

} // namespace probe
