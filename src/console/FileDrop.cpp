#include "FileDrop.h"

#include "pickers/PickedPath.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace {

// Copy or link, never move: a file manager deletes the source of an accepted move.
std::optional<Qt::DropAction> harmlessAction(Qt::DropActions possible) {
    for (const Qt::DropAction action : {Qt::CopyAction, Qt::LinkAction}) {
        if (possible.testFlag(action)) {
            return action;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> DroppedFilePath(const QMimeData& data) {
    const QList<QUrl> urls = data.urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) {
        return std::nullopt;
    }
    const QFileInfo file(urls.front().toLocalFile());
    const QString folder = file.absoluteDir().canonicalPath();
    if (!file.isFile() || folder.isEmpty()) {
        return std::nullopt;
    }
    return PickedPath(folder, file.fileName());
}

FileDropTarget::FileDropTarget(QWidget* box, Writer write)
    : QObject(box), write_(std::move(write)) {
    box->setAcceptDrops(true);
    box->installEventFilter(this);
}

bool FileDropTarget::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
        return QObject::eventFilter(watched, event);
    }
    auto* drop = static_cast<QDropEvent*>(event);
    const std::optional<Qt::DropAction> action = harmlessAction(drop->possibleActions());
    const std::optional<QString> path =
        action ? DroppedFilePath(*drop->mimeData()) : std::optional<QString>();
    if (!path) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(*action);
    drop->accept();
    if (type == QEvent::Drop) {
        write_(*path);
    }
    return true;
}
