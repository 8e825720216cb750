#include "FileList.h"

#include "platform/Failure.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Regular files only: QDir::System would add sockets, devices and broken links.
QStringList readFiles(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable()) {
        throw Failure(QStringLiteral("Path not found"), QStringLiteral("FileList"), 76);
    }
    return QDir(folder).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
}

} // namespace

FileList::FileList(QWidget* parent) : QListWidget(parent), path_(QDir::currentPath()) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    try {
        fill(readFiles(path_));
    } catch (const Failure&) {
        // An unreadable starting folder just lists nothing.
    }
}

void FileList::setPath(const QString& path) {
    const QString folder = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    const QStringList names = readFiles(folder);
    path_ = folder;
    fill(names);
}

QString FileList::fileName() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void FileList::refresh() {
    const QString selected = fileName();
    fill(readFiles(path_));
    if (!selected.isEmpty()) {
        const QList<QListWidgetItem*> found = findItems(selected, Qt::MatchExactly);
        if (!found.isEmpty()) {
            setCurrentItem(found.first());
        }
    }
}

void FileList::fill(const QStringList& names) {
    clear(); // drops the selection with the items
    addItems(names);
}
