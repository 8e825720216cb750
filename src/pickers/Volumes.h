#pragma once

#include <QList>
#include <QString>
#include <functional>

// A mounted volume offered as a "drive" in the drive lists.
struct Volume {
    QString mountPoint; // clean absolute path, "/" for the root volume
    QString label;      // file system label, may be empty
};

// The text a drive list shows and gives as its value: the mount point, then the label
// in brackets when there is one ("/media/usb [CAMERA]").
QString DriveValue(const Volume& volume);

// Where the volumes come from. The default reads the mounted file systems and leaves out
// pseudo file systems; tests put temporary folders in their place.
using VolumeSource = std::function<QList<Volume>()>;

// Installs a source and returns the previous one; an empty source restores the system's.
VolumeSource SetVolumeSource(VolumeSource source);

// The volumes of the current source: the root volume first, then by mount point.
QList<Volume> MountedVolumes();

// Index of the volume whose mount point is the longest whole-component prefix of path,
// or -1 when none holds it.
qsizetype VolumeIndexOf(const QList<Volume>& volumes, const QString& path);

// Each volume keeps the folder last made current on it, as Windows keeps one current
// folder per drive. The record is shared by both pickers for the life of the process.
void RecordCurrentFolder(const QString& folder);
QString RecordedFolder(const QString& mountPoint); // empty when none recorded
void ForgetCurrentFolders();
