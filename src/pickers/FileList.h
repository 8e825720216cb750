#pragma once

#include <QListWidget>

// Every file of one folder, whatever its extension; no subfolders, no dot-files.
// At most one file is selected.
class FileList : public QListWidget {
    Q_OBJECT
public:
    explicit FileList(QWidget* parent = nullptr);

    // The folder whose files are listed.
    QString path() const { return path_; }

    // Lists that folder's files with none selected. Throws Failure when the folder
    // cannot be read, leaving the list as it was.
    void setPath(const QString& path);

    // The selected file's name without folder, empty when none is selected.
    QString fileName() const;

    // Re-reads the folder's files; the selected file stays selected while it is there.
    void refresh();

private:
    void fill(const QStringList& names);

    QString path_;
};
