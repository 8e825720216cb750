#pragma once

#include "Volumes.h"

#include <QComboBox>

// Drop-down list of the machine's volumes with one selected drive.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget* parent = nullptr);

    // Value of the selected drive (see DriveValue), empty when none is selected.
    QString drive() const;
    QString mountPoint() const { return mountPoint_; }

    // Selects the drive holding path, or the drive whose value is exactly path.
    // Raises changed() only when another drive becomes selected.
    void setDrive(const QString& path);

    // Same selection, raising nothing: for putting back a drive that could not be entered.
    void restoreDrive(const QString& path);

    // Re-reads the volumes and keeps the selected drive when it is still there.
    void refresh();

signals:
    void changed();

private:
    void fill(const QList<Volume>& volumes);
    qsizetype indexFor(const QString& path) const;
    void select(qsizetype index, bool raise);
    void userPicked(int index);

    QList<Volume> volumes_;
    QString mountPoint_; // of the selected drive; empty when none
};
