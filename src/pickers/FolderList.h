#pragma once

#include <QListWidget>

// Folder list: the open folder's ancestors and the folder itself as open entries,
// indented by depth, then its subfolders. Opening an entry moves the list there.
class FolderList : public QListWidget {
    Q_OBJECT
public:
    // Item data: the entry's full path, and its depth below the root.
    static constexpr int PathRole = Qt::UserRole;
    static constexpr int DepthRole = Qt::UserRole + 1;

    explicit FolderList(QWidget* parent = nullptr);

    // The open folder: "/" for the root, no trailing "/" otherwise.
    QString path() const { return path_; }

    // Moves to a folder; relative paths count from the current folder. Throws Failure
    // when it is not a folder that can be entered, leaving the list as it was.
    // Raises changed() only when the path really changes.
    void setPath(const QString& path);

    // Moves onto a drive given by its drive-list value: to the folder last made current
    // on it, else to its root. Throws Failure when the drive cannot be read.
    void setDrive(const QString& driveValue);

    // Re-reads the subfolders.
    void refresh();

signals:
    void changed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void open(QListWidgetItem* item);
    void moveTo(const QString& path);

    QString path_;
};
