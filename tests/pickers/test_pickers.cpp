#include "pickers/DriveList.h"
#include "pickers/FileList.h"
#include "pickers/FilePicker.h"
#include "pickers/FolderList.h"
#include "pickers/PickerSlot.h"
#include "pickers/Volumes.h"
#include "platform/MessageBox.h"
#include "platform/Twips.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(PickerKind)

namespace {

const QString prompt = QStringLiteral("Click to choose a file");

void makeFile(const QString& path) {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
}

QString driveName(PickerKind kind) {
    return kind == PickerKind::CorFile ? QStringLiteral("drvSelect") : QStringLiteral("drvSaveAs");
}

QString folderName(PickerKind kind) {
    return kind == PickerKind::CorFile ? QStringLiteral("dirSelect") : QStringLiteral("dirSaveAs");
}

DriveList* driveOf(FilePicker* p) {
    return p->findChild<DriveList*>(driveName(p->kind()));
}
FolderList* folderOf(FilePicker* p) {
    return p->findChild<FolderList*>(folderName(p->kind()));
}
FileList* filesOf(FilePicker* p) {
    return p->findChild<FileList*>(QStringLiteral("File1"));
}
QPushButton* button(FilePicker* p, const char* name) {
    return p->findChild<QPushButton*>(QString::fromLatin1(name));
}

QStringList texts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) {
        out << list->item(i)->text();
    }
    return out;
}

QListWidgetItem* entryFor(FolderList* list, const QString& path) {
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->data(FolderList::PathRole).toString() == path) {
            return list->item(i);
        }
    }
    return nullptr;
}

// What a window system delivers for a double-click: press, release, double-click, release.
void doubleClick(QWidget* widget, QPoint at) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
}

enum class Gesture { DoubleClick, EnterKey };

// Opens a folder list entry the way a user does.
bool openEntry(FolderList* list, const QString& path, Gesture how = Gesture::DoubleClick) {
    QListWidgetItem* item = entryFor(list, path);
    if (item == nullptr) {
        return false;
    }
    list->scrollToItem(item);
    if (how == Gesture::DoubleClick) {
        if (!QTest::qWaitForWindowExposed(list->window())) {
            return false;
        }
        doubleClick(list->viewport(), list->visualItemRect(item).center());
    } else {
        list->setCurrentItem(item);
        QTest::keyClick(list, Qt::Key_Return);
    }
    return true;
}

void selectFile(FileList* list, const QString& name) {
    const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
    QVERIFY2(found.size() == 1, qPrintable(name));
    list->setCurrentItem(found.first());
}

} // namespace

class TestPickers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void layout_data();
    void layout();
    void tabOrderAndFocus_data();
    void tabOrderAndFocus();
    void loadsOnHomeFolder_data();
    void loadsOnHomeFolder();

    void oneWindowPerPicker_data();
    void oneWindowPerPicker();
    void bothUpAtOnce();

    void confirm_data();
    void confirm();
    void confirmInRoot();
    void fileGestures_data();
    void fileGestures();
    void movingClearsSelection_data();
    void movingClearsSelection();

    void cancelKeepsTextButFolderMoves_data();
    void cancelKeepsTextButFolderMoves();
    void titleBarCloseUnloads();
    void otherPickerResetsCurrentFolder();

    void driveChange();
    void sameDriveDoesNothing();
    void driveRemembersFolder();
    void unreadableDrive();
    void vanishedFolder();

private:
    struct Target {
        QString text = prompt;
        int writes = 0;
    };
    FilePicker::Writer writerFor(Target& t) {
        return [&t](const QString& text) {
            t.text = text;
            ++t.writes;
        };
    }

    QTemporaryDir tmp_;
    QString root_, driveA_, driveB_, home_, videos_;
    QList<Volume> volumes_;
    VolumeSource savedSource_;
    QByteArray savedHome_;
    QString savedCwd_;
    QStringList messages_;
    MessageHandler savedHandler_;
};

void TestPickers::initTestCase() {
    QVERIFY(tmp_.isValid());
    root_ = QFileInfo(tmp_.path()).canonicalFilePath();
    driveA_ = root_ + "/A";
    driveB_ = root_ + "/B";
    home_ = driveA_ + "/home";
    videos_ = home_ + "/Videos";
    savedHome_ = qgetenv("HOME");
    qputenv("HOME", home_.toLocal8Bit());
    savedSource_ = SetVolumeSource([this] { return volumes_; });
    savedHandler_ =
        SetMessageHandler([this](const QString& text, MessageIcon) { messages_ << text; });
}

void TestPickers::init() {
    // A fresh tree each time: tests remove folders to make them fail.
    QDir(root_).removeRecursively();
    for (const QString& d :
         {videos_ + "/Deep", home_ + "/.config", driveB_ + "/cam", driveB_ + "/other"}) {
        QVERIFY(QDir().mkpath(d));
    }
    for (const QString& f :
         {home_ + "/clip.MP4", home_ + "/notes.txt", home_ + "/README", home_ + "/.profile",
          videos_ + "/a.mp4", videos_ + "/b.mov", driveB_ + "/top.mp4", driveB_ + "/cam/x.mp4"}) {
        makeFile(f);
    }
    volumes_ = {{driveA_, {}}, {driveB_, QStringLiteral("CAMERA")}};
    ForgetCurrentFolders();
    messages_.clear();
    savedCwd_ = QDir::currentPath();
}

void TestPickers::cleanup() {
    // No picker ever talks to the user.
    QCOMPARE(messages_, QStringList());
    QDir::setCurrent(savedCwd_);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestPickers::cleanupTestCase() {
    SetMessageHandler(savedHandler_);
    SetVolumeSource(savedSource_);
    qputenv("HOME", savedHome_);
}

void TestPickers::layout_data() {
    QTest::addColumn<PickerKind>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption"); // buttons only
    QTest::addColumn<QRect>("twips");
    const auto cor = PickerKind::CorFile;
    const auto ref = PickerKind::RefFile;
    QTest::newRow("cor drive") << cor << "drvSelect"
                               << "" << QRect(90, 135, 2655, 315);
    QTest::newRow("cor folder") << cor << "dirSelect"
                                << "" << QRect(90, 465, 2655, 2115);
    QTest::newRow("cor files") << cor << "File1"
                               << "" << QRect(90, 2610, 2655, 1260);
    QTest::newRow("cor OK") << cor << "cmdOK"
                            << "OK" << QRect(90, 3930, 975, 375);
    QTest::newRow("cor Cancel") << cor << "cmdCancel"
                                << "Cancel" << QRect(1770, 3930, 975, 375);
    QTest::newRow("ref drive") << ref << "drvSaveAs"
                               << "" << QRect(75, 135, 2670, 315);
    QTest::newRow("ref folder") << ref << "dirSaveAs"
                                << "" << QRect(90, 465, 2655, 2115);
    QTest::newRow("ref files") << ref << "File1"
                               << "" << QRect(90, 2595, 2655, 1260);
    QTest::newRow("ref OK") << ref << "cmdOK"
                            << "OK" << QRect(90, 3930, 975, 375);
    QTest::newRow("ref Cancel") << ref << "cmdCancel"
                                << "Cancel" << QRect(1785, 3930, 975, 375);
}

void TestPickers::layout() {
    QFETCH(PickerKind, kind);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    Target target;
    PickerSlot slot(kind, writerFor(target));
    slot.Open();
    FilePicker* p = slot.loaded();
    QVERIFY(p);
    const bool cor = kind == PickerKind::CorFile;
    QCOMPARE(p->objectName(), cor ? QStringLiteral("frmCorFile") : QStringLiteral("frmRefFile"));
    QCOMPARE(p->windowTitle(),
             cor ? QStringLiteral("Select corrupt mp4") : QStringLiteral("Select reference file"));
    QCOMPARE(p->size(), twipsRect(0, 0, 2835, 4410).size());
    QVERIFY(!p->isModal());
    QVERIFY(p->parentWidget() == nullptr);

    auto* w = p->findChild<QWidget*>(name);
    QVERIFY(w);
    QCOMPARE(w->geometry(), twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        QCOMPARE(b->text(), caption);
        QCOMPARE(b->isDefault(), name == "cmdOK");
    }
    // Every child widget can be found by name.
    for (const QWidget* child : p->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QVERIFY2(!child->objectName().isEmpty(), child->metaObject()->className());
    }
}

void TestPickers::tabOrderAndFocus_data() {
    QTest::addColumn<PickerKind>("kind");
    QTest::newRow("frmCorFile") << PickerKind::CorFile;
    QTest::newRow("frmRefFile") << PickerKind::RefFile;
}

void TestPickers::tabOrderAndFocus() {
    QFETCH(PickerKind, kind);
    Target target;
    PickerSlot slot(kind, writerFor(target));
    slot.Open();
    FilePicker* p = slot.loaded();
    QVERIFY(QTest::qWaitForWindowExposed(p));
    QCOMPARE(p->focusWidget(), folderOf(p));

    const QStringList expected{folderName(kind), driveName(kind), "cmdOK", "cmdCancel", "File1"};
    QStringList order;
    QWidget* w = folderOf(p);
    for (int guard = 0; guard < 200 && order.size() < expected.size(); ++guard) {
        if (expected.contains(w->objectName()) && !order.contains(w->objectName())) {
            order << w->objectName();
        }
        w = w->nextInFocusChain();
    }
    QCOMPARE(order, expected);

    // Tab really walks that way from the folder list.
    folderOf(p)->setFocus();
    QStringList walked{p->focusWidget()->objectName()};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(p->focusWidget(), Qt::Key_Tab);
        walked << p->focusWidget()->objectName();
    }
    QCOMPARE(walked, expected);
}

void TestPickers::loadsOnHomeFolder_data() {
    tabOrderAndFocus_data();
}

void TestPickers::loadsOnHomeFolder() {
    QFETCH(PickerKind, kind);
    QDir::setCurrent(driveB_ + "/cam");
    Target target;
    PickerSlot slot(kind, writerFor(target));
    slot.Open();
    FilePicker* p = slot.loaded();
    QCOMPARE(QDir::currentPath(), home_);
    QCOMPARE(driveOf(p)->drive(), driveA_);
    QCOMPARE(folderOf(p)->path(), home_);
    QCOMPARE(filesOf(p)->path(), home_);
    // Every file whatever its extension; no dot-files, no subfolders.
    QCOMPARE(texts(filesOf(p)), (QStringList{"clip.MP4", "notes.txt", "README"}));
    QVERIFY(entryFor(folderOf(p), videos_));
    QVERIFY(!entryFor(folderOf(p), home_ + "/.config"));
    QCOMPARE(target.writes, 0);
}

void TestPickers::oneWindowPerPicker_data() {
    tabOrderAndFocus_data();
}

void TestPickers::oneWindowPerPicker() {
    QFETCH(PickerKind, kind);
    Target target;
    PickerSlot slot(kind, writerFor(target));
    slot.Open();
    FilePicker* first = slot.loaded();
    QVERIFY(first && first->isVisible());
    // Browsing while it is up, then pressing the button again: same window, not reloaded.
    QVERIFY(openEntry(folderOf(first), videos_));
    slot.Open();
    QCOMPARE(slot.loaded(), first);
    QVERIFY(first->isVisible());
    QCOMPARE(folderOf(first)->path(), videos_);
    int windows = 0;
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        windows += w->objectName() == first->objectName() ? 1 : 0;
    }
    QCOMPARE(windows, 1);
}

void TestPickers::bothUpAtOnce() {
    Target cor, ref;
    PickerSlot corSlot(PickerKind::CorFile, writerFor(cor));
    PickerSlot refSlot(PickerKind::RefFile, writerFor(ref));
    refSlot.Open();
    corSlot.Open();
    QVERIFY(refSlot.loaded() && corSlot.loaded());
    QVERIFY(refSlot.loaded() != corSlot.loaded());
    QVERIFY(refSlot.loaded()->isVisible() && corSlot.loaded()->isVisible());

    // Each writes only its own box.
    selectFile(filesOf(corSlot.loaded()), "clip.MP4");
    QTest::mouseClick(button(corSlot.loaded(), "cmdOK"), Qt::LeftButton);
    QCOMPARE(cor.text, home_ + "/clip.MP4");
    QCOMPARE(ref.text, prompt);
    QCOMPARE(ref.writes, 0);
    QVERIFY(!corSlot.loaded()->isVisible());
    QVERIFY(refSlot.loaded()->isVisible());
}

void TestPickers::confirm_data() {
    QTest::addColumn<PickerKind>("kind");
    QTest::addColumn<QString>("folder"); // below home, empty for home itself
    QTest::addColumn<QString>("file");   // to select, empty for none
    QTest::addColumn<bool>("enterKey");  // confirm by Enter instead of a click on OK
    QTest::addColumn<QString>("written");
    const auto cor = PickerKind::CorFile;
    const auto ref = PickerKind::RefFile;
    QTest::newRow("cor file") << cor << ""
                              << "clip.MP4" << false << "/clip.MP4";
    QTest::newRow("ref file") << ref << ""
                              << "notes.txt" << false << "/notes.txt";
    QTest::newRow("no selection") << cor << ""
                                  << "" << false << "/";
    QTest::newRow("subfolder file") << ref << "/Videos"
                                    << "b.mov" << false << "/Videos/b.mov";
    QTest::newRow("Enter key") << cor << "/Videos"
                               << "a.mp4" << true << "/Videos/a.mp4";
}

void TestPickers::confirm() {
    QFETCH(PickerKind, kind);
    QFETCH(QString, folder);
    QFETCH(QString, file);
    QFETCH(bool, enterKey);
    QFETCH(QString, written);
    Target target;
    PickerSlot slot(kind, writerFor(target));
    slot.Open();
    FilePicker* p = slot.loaded();
    if (!folder.isEmpty()) {
        QVERIFY(openEntry(folderOf(p), home_ + folder));
    }
    if (!file.isEmpty()) {
        selectFile(filesOf(p), file);
    }
    if (enterKey) {
        filesOf(p)->setFocus();
        QTest::keyClick(filesOf(p), Qt::Key_Return);
    } else {
        QTest::mouseClick(button(p, "cmdOK"), Qt::LeftButton);
    }
    // The whole box is replaced, its prompt included.
    QCOMPARE(target.text, home_ + written);
    QCOMPARE(target.writes, 1);
    QVERIFY(!p->isVisible());
    QCOMPARE(slot.loaded(), p); // hidden, still loaded
}

void TestPickers::confirmInRoot() {
    // The root's path already ends in the separator, and one more is always added.
    volumes_ = {{QStringLiteral("/"), {}}};
    Target target;
    PickerSlot slot(PickerKind::CorFile, writerFor(target));
    slot.Open();
    FilePicker* p = slot.loaded();
    QVERIFY(openEntry(folderOf(p), QStringLiteral("/")));
    QCOMPARE(folderOf(p)->path(), QStringLiteral("/"));
    QCOMPARE(filesOf(p)->path(), QStringLiteral("/"));
    QCOMPARE(driveOf(p)->drive(), QStringLiteral("/"));
    QString name;
    if (filesOf(p)->count() > 0) {
        name = filesOf(p)->item(0)->text();
        filesOf(p)->setCurrentRow(0);
    }
    QTest::mouseClick(button(p, "cmdOK"), Qt::LeftButton);
    QCOMPARE(target.text, "//" + name);
}

void TestPickers::fileGestures_data() {
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<bool>("confirms");
    QTest::newRow("double-click on a file") << "dblclick" << true;
    QTest::newRow("Enter in the file list") << "enter files" << true;
    QTest::newRow("Enter in the folder list opens") << "enter folders" << false;
    QTest::newRow("Escape") << "escape" << false;
}

void TestPickers::fileGestures() {
    QFETCH(QString, gesture);
    QFETCH(bool, confirms);
    Target target;
    PickerSlot slot(PickerKind::RefFile, writerFor(target));
    slot.Open();
    FilePicker* p = slot.loaded();
    QVERIFY(QTest::qWaitForWindowExposed(p));
    FileList* files = filesOf(p);
    selectFile(files, "notes.txt");
    if (gesture == "dblclick") {
        doubleClick(files->viewport(), files->visualItemRect(files->currentItem()).center());
    } else if (gesture == "enter files") {
        files->setFocus();
        QTest::keyClick(files, Qt::Key_Enter, Qt::KeypadModifier);
    } else if (gesture == "enter folders") {
        QVERIFY(openEntry(folderOf(p), videos_, Gesture::EnterKey));
        QCOMPARE(folderOf(p)->path(), videos_);
        QCOMPARE(QDir::currentPath(), videos_);
        QVERIFY(p->isVisible());
    } else {
        QTest::keyClick(files, Qt::Key_Escape);
        QVERIFY(!p->isVisible());
    }
    QCOMPARE(target.writes, confirms ? 1 : 0);
    QCOMPARE(target.text, confirms ? home_ + "/notes.txt" : prompt);
    QCOMPARE(p->isVisible(), gesture == "enter folders");
}

void TestPickers::movingClearsSelection_data() {
    QTest::addColumn<Gesture>("how");
    QTest::addColumn<QString>("to");
    QTest::newRow("double-click into subfolder") << Gesture::DoubleClick << "/Videos";
    QTest::newRow("Enter into subfolder") << Gesture::EnterKey << "/Videos";
    QTest::newRow("up to the drive root") << Gesture::DoubleClick << "";
}

void TestPickers::movingClearsSelection() {
    QFETCH(Gesture, how);
    QFETCH(QString, to);
    const QString folder = to.isEmpty() ? driveA_ : home_ + to;
    Target target;
    PickerSlot slot(PickerKind::CorFile, writerFor(target));
    slot.Open();
    FilePicker* p = slot.loaded();
    selectFile(filesOf(p), "clip.MP4");
    QSignalSpy driveSpy(driveOf(p), &DriveList::changed);
    QVERIFY(openEntry(folderOf(p), folder, how));
    // All three lists and the program follow the folder list.
    QCOMPARE(QDir::currentPath(), folder);
    QCOMPARE(folderOf(p)->path(), folder);
    QCOMPARE(filesOf(p)->path(), folder);
    QCOMPARE(driveOf(p)->drive(), driveA_);
    QCOMPARE(driveSpy.count(), 0);
    QCOMPARE(filesOf(p)->fileName(), QString());
    QTest::mouseClick(button(p, "cmdOK"), Qt::LeftButton);
    QCOMPARE(target.text, folder + "/");
}

void TestPickers::cancelKeepsTextButFolderMoves_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("Cancel button") << false;
    QTest::newRow("Escape key") << true;
}

void TestPickers::cancelKeepsTextButFolderMoves() {
    QFETCH(bool, escape);
    Target target;
    PickerSlot slot(PickerKind::RefFile, writerFor(target));
    slot.Open();
    FilePicker* p = slot.loaded();
    QVERIFY(QTest::qWaitForWindowExposed(p));
    QVERIFY(openEntry(folderOf(p), videos_));
    QVERIFY(openEntry(folderOf(p), videos_ + "/Deep"));
    QCOMPARE(filesOf(p)->count(), 0);
    QVERIFY(openEntry(folderOf(p), videos_));
    selectFile(filesOf(p), "b.mov");
    const QPoint placed(17, 23);
    p->move(placed);
    if (escape) {
        QTest::keyClick(folderOf(p), Qt::Key_Escape);
    } else {
        QTest::mouseClick(button(p, "cmdCancel"), Qt::LeftButton);
    }
    QVERIFY(!p->isVisible());
    QCOMPARE(target.text, prompt);
    QCOMPARE(target.writes, 0);
    QCOMPARE(QDir::currentPath(), videos_);

    slot.Open();
    QCOMPARE(slot.loaded(), p);
    QVERIFY(p->isVisible());
    QCOMPARE(p->pos(), placed); // not centred again
    QCOMPARE(folderOf(p)->path(), videos_);
    QCOMPARE(filesOf(p)->path(), videos_);
    QCOMPARE(filesOf(p)->fileName(), QStringLiteral("b.mov"));
}

void TestPickers::titleBarCloseUnloads() {
    Target target;
    PickerSlot slot(PickerKind::CorFile, writerFor(target));
    slot.Open();
    QPointer<FilePicker> first = slot.loaded();
    const QPoint centred = first->pos();
    QVERIFY(openEntry(folderOf(first), videos_));
    selectFile(filesOf(first), "a.mp4");
    first->move(centred + QPoint(40, 40));
    first->close();
    QCOMPARE(slot.loaded(), nullptr);
    QCOMPARE(target.writes, 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());

    // Loaded afresh: home folder, centred.
    slot.Open();
    FilePicker* second = slot.loaded();
    QVERIFY(second && second->isVisible());
    QCOMPARE(second->pos(), centred);
    QCOMPARE(folderOf(second)->path(), home_);
    QCOMPARE(QDir::currentPath(), home_);
    QCOMPARE(filesOf(second)->fileName(), QString());

    // Centred on the screen using the window's outer size.
    const QRect screen = second->screen()->geometry();
    const QRect frame = second->frameGeometry();
    const int slack = (frame.width() - second->width()) / 2 + 1;
    QVERIFY2(qAbs(frame.center().x() - screen.center().x()) <= slack, "left");
    QVERIFY2(qAbs(frame.center().y() - screen.center().y()) <= slack, "top");
}

void TestPickers::otherPickerResetsCurrentFolder() {
    Target cor, ref;
    PickerSlot corSlot(PickerKind::CorFile, writerFor(cor));
    PickerSlot refSlot(PickerKind::RefFile, writerFor(ref));
    corSlot.Open();
    QVERIFY(openEntry(folderOf(corSlot.loaded()), videos_));
    QCOMPARE(QDir::currentPath(), videos_);
    refSlot.Open();
    QCOMPARE(QDir::currentPath(), home_);
    QCOMPARE(folderOf(refSlot.loaded())->path(), home_);
    // One picker never moves the other's lists.
    QCOMPARE(folderOf(corSlot.loaded())->path(), videos_);
    QCOMPARE(filesOf(corSlot.loaded())->path(), videos_);
    // OK uses the picker's own lists, not the program's current folder.
    selectFile(filesOf(corSlot.loaded()), "a.mp4");
    QTest::mouseClick(button(corSlot.loaded(), "cmdOK"), Qt::LeftButton);
    QCOMPARE(cor.text, videos_ + "/a.mp4");
}

void TestPickers::driveChange() {
    Target target;
    PickerSlot slot(PickerKind::CorFile, writerFor(target));
    slot.Open();
    FilePicker* p = slot.loaded();
    selectFile(filesOf(p), "clip.MP4");
    QSignalSpy driveSpy(driveOf(p), &DriveList::changed);
    QSignalSpy folderSpy(folderOf(p), &FolderList::changed);
    driveOf(p)->setFocus();
    QTest::keyClick(driveOf(p), Qt::Key_Down); // the user picks the next drive
    QCOMPARE(driveOf(p)->drive(), driveB_ + " [CAMERA]");
    QCOMPARE(driveSpy.count(), 1);
    QCOMPARE(folderSpy.count(), 1);
    // Nothing recorded for that drive yet: all three lists on its root.
    QCOMPARE(QDir::currentPath(), driveB_);
    QCOMPARE(folderOf(p)->path(), driveB_);
    QCOMPARE(filesOf(p)->path(), driveB_);
    QCOMPARE(texts(filesOf(p)), QStringList{"top.mp4"});
    QVERIFY(entryFor(folderOf(p), driveB_ + "/cam"));
    QCOMPARE(filesOf(p)->fileName(), QString());
}

void TestPickers::sameDriveDoesNothing() {
    Target target;
    PickerSlot slot(PickerKind::RefFile, writerFor(target));
    slot.Open();
    FilePicker* p = slot.loaded();
    QVERIFY(openEntry(folderOf(p), videos_));
    selectFile(filesOf(p), "a.mp4");
    QSignalSpy driveSpy(driveOf(p), &DriveList::changed);
    QSignalSpy folderSpy(folderOf(p), &FolderList::changed);
    // Picked again from the drop-down, and assigned again.
    emit driveOf(p)->activated(driveOf(p)->currentIndex());
    driveOf(p)->setDrive(driveA_);
    QCOMPARE(driveSpy.count(), 0);
    QCOMPARE(folderSpy.count(), 0);
    QCOMPARE(folderOf(p)->path(), videos_);
    QCOMPARE(filesOf(p)->fileName(), QStringLiteral("a.mp4"));
    QCOMPARE(QDir::currentPath(), videos_);
}

void TestPickers::driveRemembersFolder() {
    Target target;
    PickerSlot slot(PickerKind::CorFile, writerFor(target));
    slot.Open();
    FilePicker* p = slot.loaded();
    DriveList* drive = driveOf(p);
    drive->setFocus();
    QVERIFY(openEntry(folderOf(p), videos_));
    QTest::keyClick(drive, Qt::Key_Down);
    QCOMPARE(folderOf(p)->path(), driveB_);
    QVERIFY(openEntry(folderOf(p), driveB_ + "/cam"));
    QTest::keyClick(drive, Qt::Key_Up);
    QCOMPARE(drive->drive(), driveA_);
    QCOMPARE(folderOf(p)->path(), videos_);
    QCOMPARE(filesOf(p)->path(), videos_);
    QCOMPARE(QDir::currentPath(), videos_);

    // The record is the program's, not the window's: the other picker shares it.
    PickerSlot other(PickerKind::RefFile, writerFor(target));
    other.Open();
    QTest::keyClick(driveOf(other.loaded()), Qt::Key_Down);
    QCOMPARE(folderOf(other.loaded())->path(), driveB_ + "/cam");
    QCOMPARE(filesOf(other.loaded())->path(), driveB_ + "/cam");
    QCOMPARE(folderOf(p)->path(), videos_);
}

void TestPickers::unreadableDrive() {
    volumes_.append({root_ + "/C", QStringLiteral("GONE")}); // listed, never there
    Target target;
    PickerSlot slot(PickerKind::RefFile, writerFor(target));
    slot.Open();
    FilePicker* p = slot.loaded();
    QVERIFY(openEntry(folderOf(p), videos_));
    selectFile(filesOf(p), "a.mp4");
    QSignalSpy folderSpy(folderOf(p), &FolderList::changed);
    driveOf(p)->setFocus();
    QTest::keyClick(driveOf(p), Qt::Key_End);
    // Back on the folder list's drive, everything else as it was.
    QCOMPARE(driveOf(p)->drive(), driveA_);
    QCOMPARE(driveOf(p)->currentText(), driveA_);
    QCOMPARE(folderSpy.count(), 0);
    QCOMPARE(folderOf(p)->path(), videos_);
    QCOMPARE(filesOf(p)->path(), videos_);
    QCOMPARE(filesOf(p)->fileName(), QStringLiteral("a.mp4"));
    QCOMPARE(QDir::currentPath(), videos_);
    // And it still works.
    QTest::keyClick(driveOf(p), Qt::Key_Down);
    QCOMPARE(folderOf(p)->path(), driveB_);
}

void TestPickers::vanishedFolder() {
    Target target;
    PickerSlot slot(PickerKind::CorFile, writerFor(target));
    slot.Open();
    FilePicker* p = slot.loaded();
    QVERIFY(QDir(videos_).removeRecursively());
    QVERIFY(openEntry(folderOf(p), videos_)); // still listed from before
    // The folder list moved; the program and the file list could not follow.
    QCOMPARE(folderOf(p)->path(), videos_);
    QCOMPARE(QDir::currentPath(), home_);
    QCOMPARE(filesOf(p)->path(), home_);
    QTest::mouseClick(button(p, "cmdOK"), Qt::LeftButton);
    QCOMPARE(target.text, home_ + "/");

    // The picker works on.
    slot.Open();
    QVERIFY(openEntry(folderOf(p), home_));
    QVERIFY(openEntry(folderOf(p), driveA_));
    QCOMPARE(QDir::currentPath(), driveA_);
    QCOMPARE(filesOf(p)->path(), driveA_);
    QVERIFY(openEntry(folderOf(p), home_));
    selectFile(filesOf(p), "README");
    QTest::mouseClick(button(p, "cmdOK"), Qt::LeftButton);
    QCOMPARE(target.text, home_ + "/README");
}

QTEST_MAIN(TestPickers)
#include "test_pickers.moc"
