#pragma once

// Shared by the picker tests: a picker opened as the main window opens it, its lists, and
// the user's gestures on them.

#include "pickers/DriveList.h"
#include "pickers/FileList.h"
#include "pickers/FilePicker.h"
#include "pickers/FolderList.h"
#include "pickers/PickerSlot.h"

#include <QPushButton>
#include <QTest>

inline const QString prompt = QStringLiteral("Click to choose a file");

// One picker as the main window holds it, opened, with the box it writes.
struct Opened {
    explicit Opened(PickerKind kind)
        : slot(kind, [this](const QString& written) {
              text = written;
              ++writes;
          }) {
        slot.Open();
    }
    FilePicker* p() const { return slot.loaded(); }
    QString text = prompt;
    int writes = 0;
    PickerSlot slot;
};

inline DriveList* driveOf(FilePicker* p) {
    return p->findChild<DriveList*>();
}
inline FolderList* folderOf(FilePicker* p) {
    return p->findChild<FolderList*>();
}
inline FileList* filesOf(FilePicker* p) {
    return p->findChild<FileList*>();
}
inline void clickButton(FilePicker* p, const char* name) {
    QTest::mouseClick(p->findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
}

inline QStringList texts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) {
        out << list->item(i)->text();
    }
    return out;
}

inline QListWidgetItem* entryFor(FolderList* list, const QString& path) {
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->data(FolderList::PathRole).toString() == path) {
            return list->item(i);
        }
    }
    return nullptr;
}

// What a window system delivers for a double-click: press, release, double-click, release.
inline void doubleClick(QWidget* widget, QPoint at) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
}

// Opens a folder list entry the way a user does: a double-click, or Enter.
inline bool openEntry(FolderList* list, const QString& path, bool enterKey = false) {
    QListWidgetItem* item = entryFor(list, path);
    if (item == nullptr || !QTest::qWaitForWindowExposed(list->window())) {
        return false;
    }
    list->scrollToItem(item);
    if (enterKey) {
        list->setCurrentItem(item);
        QTest::keyClick(list, Qt::Key_Return);
    } else {
        doubleClick(list->viewport(), list->visualItemRect(item).center());
    }
    return true;
}

inline void selectFile(FileList* list, const QString& name) {
    const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
    QVERIFY2(found.size() == 1, qPrintable(name));
    list->setCurrentItem(found.first());
}
