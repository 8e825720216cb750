#pragma once

#include <QDialog>
#include <functional>

class DriveList;
class FileList;
class FolderList;
class QPushButton;

// Which of the two picker windows: the broken video (frmCorFile) or the reference
// video (frmRefFile).
enum class PickerKind { CorFile, RefFile };

// A window choosing one file from a drive list, a folder list and a file list. It works
// through the program's current folder: whenever its folder list moves, that folder
// becomes current and all three lists are aligned to it. OK hands the chosen path to
// the writer and hides the window; Cancel only hides it. Closing it any other way
// unloads it (see unloading()).
class FilePicker : public QDialog {
    Q_OBJECT
public:
    using Writer = std::function<void(const QString& text)>;

    FilePicker(PickerKind kind, Writer writeTarget);

    PickerKind kind() const { return kind_; }

    // Moves the lists to the home folder and centres the window; run once, before it
    // is first shown.
    void Form_Load();
    void cmdOK_Click();
    void cmdCancel_Click();
    // The drive list's change handler (drvSelect_Change / drvSaveAs_Change).
    void drv_Change();
    // The folder list's change handler (dirSelect_Change / dirSaveAs_Change).
    void dir_Change();
    // Aligns the three lists to the current folder and re-reads them. Throws on a folder
    // that cannot be read; only the change handlers call it, and they catch.
    void RefreshFiles();

    // The folder standing in for the root of drive C: the user's home folder.
    static QString HomeFolder();

    // Escape lands here.
    void reject() override;

signals:
    // Closed other than by OK or Cancel: the window is about to be deleted.
    void unloading();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void File1_DblClick();

    PickerKind kind_;
    Writer writeTarget_;
    DriveList* drive_;
    FolderList* folder_;
    FileList* File1;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
};
