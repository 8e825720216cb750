#include "FolderList.h"

#include "Volumes.h"
#include "platform/Failure.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

namespace {

constexpr int indentPixels = 8;

// Indents each entry, its icon included, by its depth.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented(option);
        indented.rect.setLeft(option.rect.left() + indent(index));
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(index), 0);
    }

private:
    static int indent(const QModelIndex& index) {
        return index.data(FolderList::DepthRole).toInt() * indentPixels;
    }
};

bool canEnter(const QString& path) {
    const QFileInfo info(path);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

QString childPath(const QString& folder, const QString& name) {
    return folder == QStringLiteral("/") ? folder + name : folder + u'/' + name;
}

} // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent), path_(QDir::currentPath()) {
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemActivated, this, &FolderList::open);
    refresh();
}

void FolderList::setPath(const QString& path) {
    const QString target = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    if (!canEnter(target)) {
        throw Failure(QStringLiteral("Path not found"), QStringLiteral("FolderList"), 76);
    }
    moveTo(target);
}

void FolderList::setDrive(const QString& driveValue) {
    const QList<Volume> volumes = MountedVolumes();
    for (const Volume& volume : volumes) {
        if (DriveValue(volume) != driveValue) {
            continue;
        }
        if (!canEnter(volume.mountPoint)) {
            break;
        }
        // A remembered folder that has gone since gives way to the root.
        const QString recorded = RecordedFolder(volume.mountPoint);
        moveTo(!recorded.isEmpty() && canEnter(recorded) ? recorded : volume.mountPoint);
        return;
    }
    throw Failure(QStringLiteral("Device unavailable"), QStringLiteral("FolderList"), 68);
}

void FolderList::refresh() {
    clear();
    const QStyle* look = style();
    const QIcon openIcon = look->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = look->standardIcon(QStyle::SP_DirClosedIcon);

    QStringList ancestors;
    for (QString p = path_; !p.isEmpty();) {
        ancestors.prepend(p);
        p = p == QStringLiteral("/") ? QString() : QFileInfo(p).path();
    }
    int depth = 0;
    QListWidgetItem* openEntry = nullptr;
    for (const QString& p : ancestors) {
        const QString name = p == QStringLiteral("/") ? p : QFileInfo(p).fileName();
        openEntry = new QListWidgetItem(openIcon, name, this);
        openEntry->setData(PathRole, p);
        openEntry->setData(DepthRole, depth++);
    }
    // A folder that cannot be read simply shows no subfolders.
    const QStringList names =
        QDir(path_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names) {
        auto* entry = new QListWidgetItem(closedIcon, name, this);
        entry->setData(PathRole, childPath(path_, name));
        entry->setData(DepthRole, depth);
    }
    setCurrentItem(openEntry);
}

void FolderList::keyPressEvent(QKeyEvent* event) {
    // Enter opens the highlighted entry here rather than confirming the window.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        open(currentItem());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void FolderList::open(QListWidgetItem* item) {
    if (item != nullptr) {
        // The user may open a folder that has gone since it was listed; the change
        // handler finds out when it cannot make it current.
        moveTo(item->data(PathRole).toString());
    }
}

void FolderList::moveTo(const QString& path) {
    if (path == path_) {
        return;
    }
    path_ = path;
    refresh();
    emit changed();
}
