#include "Volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStorageInfo>
#include <algorithm>
#include <utility>

namespace {

// Kernel and runtime file systems that hold no user files.
bool isPseudoFileSystem(const QByteArray& type) {
    static const QSet<QByteArray> pseudo = {
        "proc",        "sysfs",           "cgroup",     "cgroup2",
        "devtmpfs",    "devpts",          "mqueue",     "debugfs",
        "tracefs",     "securityfs",      "pstore",     "bpf",
        "autofs",      "fusectl",         "configfs",   "hugetlbfs",
        "binfmt_misc", "tmpfs",           "ramfs",      "nsfs",
        "efivarfs",    "rpc_pipefs",      "nfsd",       "selinuxfs",
        "squashfs",    "fuse.gvfsd-fuse", "fuse.portal"};
    return pseudo.contains(type);
}

QList<Volume> systemVolumes() {
    QList<Volume> volumes;
    QSet<QString> seen;
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        if (!info.isValid() || !info.isReady() || isPseudoFileSystem(info.fileSystemType())) {
            continue;
        }
        const QString mountPoint = QDir::cleanPath(info.rootPath());
        // Containers bind single files (/etc/hosts); stacked mounts repeat a mount point.
        if (!QFileInfo(mountPoint).isDir() || seen.contains(mountPoint)) {
            continue;
        }
        seen.insert(mountPoint);
        volumes.append({mountPoint, info.name()});
    }
    return volumes;
}

VolumeSource& currentSource() {
    static VolumeSource source;
    return source;
}

QHash<QString, QString>& currentFolders() {
    static QHash<QString, QString> folders;
    return folders;
}

bool holds(const QString& mountPoint, const QString& path) {
    if (mountPoint == QStringLiteral("/")) {
        return path.startsWith(u'/');
    }
    return path == mountPoint ||
           (path.startsWith(mountPoint) && path.at(mountPoint.size()) == u'/');
}

} // namespace

QString DriveValue(const Volume& volume) {
    if (volume.label.isEmpty()) {
        return volume.mountPoint;
    }
    return volume.mountPoint + QStringLiteral(" [") + volume.label + u']';
}

VolumeSource SetVolumeSource(VolumeSource source) {
    return std::exchange(currentSource(), std::move(source));
}

QList<Volume> MountedVolumes() {
    const VolumeSource source = currentSource();
    QList<Volume> volumes = source ? source() : systemVolumes();
    std::stable_sort(volumes.begin(), volumes.end(), [](const Volume& a, const Volume& b) {
        const bool aRoot = a.mountPoint == QStringLiteral("/");
        const bool bRoot = b.mountPoint == QStringLiteral("/");
        if (aRoot != bRoot) {
            return aRoot;
        }
        return a.mountPoint < b.mountPoint;
    });
    return volumes;
}

qsizetype VolumeIndexOf(const QList<Volume>& volumes, const QString& path) {
    const QString clean = QDir::cleanPath(path);
    qsizetype best = -1;
    for (qsizetype i = 0; i < volumes.size(); ++i) {
        const QString& mountPoint = volumes.at(i).mountPoint;
        if (holds(mountPoint, clean) &&
            (best < 0 || mountPoint.size() > volumes.at(best).mountPoint.size())) {
            best = i;
        }
    }
    return best;
}

void RecordCurrentFolder(const QString& folder) {
    const QList<Volume> volumes = MountedVolumes();
    const qsizetype i = VolumeIndexOf(volumes, folder);
    if (i >= 0) {
        currentFolders().insert(volumes.at(i).mountPoint, QDir::cleanPath(folder));
    }
}

QString RecordedFolder(const QString& mountPoint) {
    return currentFolders().value(QDir::cleanPath(mountPoint));
}

void ForgetCurrentFolders() {
    currentFolders().clear();
}
