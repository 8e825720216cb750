#include "DriveList.h"

#include <QSignalBlocker>
#include <QStyle>

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    fill(MountedVolumes());
    connect(this, &QComboBox::activated, this, &DriveList::userPicked);
}

QString DriveList::drive() const {
    const qsizetype i = currentIndex();
    return i >= 0 && i < volumes_.size() ? DriveValue(volumes_.at(i)) : QString();
}

void DriveList::setDrive(const QString& path) {
    select(indexFor(path), true);
}

void DriveList::restoreDrive(const QString& path) {
    select(indexFor(path), false);
}

void DriveList::refresh() {
    const QString previous = mountPoint_;
    fill(MountedVolumes());
    mountPoint_.clear();
    // A vanished drive gives way to the one that now holds its mount point.
    select(previous.isEmpty() ? -1 : VolumeIndexOf(volumes_, previous), false);
    if (mountPoint_ != previous) {
        emit changed();
    }
}

void DriveList::fill(const QList<Volume>& volumes) {
    const QSignalBlocker blocker(this);
    volumes_ = volumes;
    clear();
    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (const Volume& volume : volumes_) {
        addItem(icon, DriveValue(volume));
    }
    setCurrentIndex(-1);
}

qsizetype DriveList::indexFor(const QString& path) const {
    for (qsizetype i = 0; i < volumes_.size(); ++i) {
        if (DriveValue(volumes_.at(i)) == path) {
            return i;
        }
    }
    return VolumeIndexOf(volumes_, path);
}

void DriveList::select(qsizetype index, bool raise) {
    if (index < 0) {
        // A path on no listed drive leaves the selection alone.
        if (!mountPoint_.isEmpty()) {
            const QSignalBlocker blocker(this);
            setCurrentIndex(int(VolumeIndexOf(volumes_, mountPoint_)));
        }
        return;
    }
    const QString mountPoint = volumes_.at(index).mountPoint;
    {
        const QSignalBlocker blocker(this);
        setCurrentIndex(int(index));
    }
    if (mountPoint == mountPoint_) {
        return;
    }
    mountPoint_ = mountPoint;
    if (raise) {
        emit changed();
    }
}

void DriveList::userPicked(int index) {
    select(index, true);
}
