#include "FilePicker.h"

#include "DriveList.h"
#include "FileList.h"
#include "FolderList.h"
#include "PickedPath.h"
#include "platform/ClassicFont.h"
#include "platform/Screen.h"
#include "platform/Twips.h"
#include "platform/VbControls.h"

#include <QCloseEvent>
#include <QDir>
#include <QPushButton>

namespace {

// Everything in which the two windows differ; positions in twips.
struct PickerDesign {
    const char* formName;
    const char* caption;
    const char* driveName;
    const char* folderName;
    int driveLeft;
    int driveWidth;
    int fileTop;
    int cancelLeft;
};

const PickerDesign& designOf(PickerKind kind) {
    static const PickerDesign cor{
        "frmCorFile", "Select corrupt mp4", "drvSelect", "dirSelect", 90, 2655, 2610, 1770};
    static const PickerDesign ref{
        "frmRefFile", "Select reference file", "drvSaveAs", "dirSaveAs", 75, 2670, 2595, 1785};
    return kind == PickerKind::CorFile ? cor : ref;
}

constexpr int clientWidth = 2835;
constexpr int clientHeight = 4410;

template <typename W> W* place(W* widget, const char* name, int l, int t, int w, int h) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(twipsRect(l, t, w, h));
    return widget;
}

} // namespace

FilePicker::FilePicker(PickerKind kind, Writer writeTarget)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      kind_(kind), writeTarget_(std::move(writeTarget)) {
    const PickerDesign& d = designOf(kind);
    setObjectName(QString::fromLatin1(d.formName));
    setWindowTitle(QString::fromLatin1(d.caption));
    setModal(false);
    setFont(ClassicWindowFont());
    setFixedSize(twipsRect(0, 0, clientWidth, clientHeight).size());

    // The lists start on the current folder and its drive.
    drive_ = place(new DriveList(this), d.driveName, d.driveLeft, 135, d.driveWidth, 315);
    drive_->setDrive(QDir::currentPath());
    folder_ = place(new FolderList(this), d.folderName, 90, 465, 2655, 2115);
    File1 = place(new FileList(this), "File1", 90, d.fileTop, 2655, 1260);
    cmdOK =
        MakeCommandButton(this, QStringLiteral("cmdOK"), QStringLiteral("OK"), 90, 3930, 975, 375);
    cmdCancel = MakeCommandButton(this, QStringLiteral("cmdCancel"), QStringLiteral("Cancel"),
                                  d.cancelLeft, 3930, 975, 375);
    // Enter presses a focused button itself, and OK everywhere else.
    cmdOK->setAutoDefault(true);
    cmdCancel->setAutoDefault(true);
    cmdOK->setDefault(true);

    setTabOrder(folder_, drive_);
    setTabOrder(drive_, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, File1);
    folder_->setFocus();

    connect(drive_, &DriveList::changed, this, &FilePicker::drv_Change);
    connect(folder_, &FolderList::changed, this, &FilePicker::dir_Change);
    connect(File1, &QListWidget::itemDoubleClicked, this, &FilePicker::File1_DblClick);
    connect(cmdOK, &QPushButton::clicked, this, &FilePicker::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &FilePicker::cmdCancel_Click);
}

QString FilePicker::HomeFolder() {
    return QDir::homePath();
}

void FilePicker::Form_Load() {
    try {
        const QString home = HomeFolder();
        folder_->setPath(home);
        drive_->setDrive(home);
    } catch (...) {
        // Without a usable home folder the lists stay on the current folder.
    }
    CentreOnScreen(this);
}

void FilePicker::cmdOK_Click() {
    const QString text = PickedPath(File1->path(), File1->fileName());
    if (writeTarget_) {
        writeTarget_(text);
    }
    hide();
}

void FilePicker::cmdCancel_Click() {
    hide();
}

void FilePicker::reject() {
    cmdCancel_Click();
}

void FilePicker::drv_Change() {
    try {
        folder_->setDrive(drive_->drive());
        RefreshFiles();
    } catch (...) {
        // A drive that cannot be read: back to the folder list's drive, nothing said.
        try {
            drive_->restoreDrive(folder_->path());
        } catch (...) {
        }
    }
}

void FilePicker::dir_Change() {
    try {
        // A folder that cannot be entered ends the handling here, silently.
        if (!QDir::setCurrent(folder_->path())) {
            return;
        }
        RecordCurrentFolder(QDir::currentPath());
        RefreshFiles();
    } catch (...) {
    }
}

void FilePicker::RefreshFiles() {
    drive_->setDrive(QDir::currentPath());
    folder_->setPath(QDir::currentPath());
    File1->setPath(QDir::currentPath());
    drive_->refresh();
    folder_->refresh();
    File1->refresh();
}

void FilePicker::File1_DblClick() {
    cmdOK_Click();
}

void FilePicker::closeEvent(QCloseEvent* event) {
    // Closed through the title bar (or by the program ending): nothing is written and
    // the next opening loads the window afresh.
    event->accept();
    emit unloading();
    deleteLater();
}
