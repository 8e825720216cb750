#include "PickerHarness.h"
#include "support/Harness.h"
#include "support/Layout.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>

Q_DECLARE_METATYPE(PickerKind)

// The two file pickers as the user meets them, on a made-up machine of two drives.
class TestPickers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        root_ = QFileInfo(tmp_.path()).canonicalFilePath();
        driveA_ = root_ + "/A";
        driveB_ = root_ + "/B";
        home_ = driveA_ + "/home";
        videos_ = home_ + "/Videos";
        savedHome_ = qgetenv("HOME");
        qputenv("HOME", home_.toLocal8Bit());
        savedSource_ = SetVolumeSource([this] { return volumes_; });
    }

    void init() {
        // A fresh tree each time: tests remove folders to make them fail.
        QDir(root_).removeRecursively();
        for (const QString& d :
             {videos_ + "/Deep", home_ + "/.config", driveB_ + "/cam", driveB_ + "/other"}) {
            QVERIFY(QDir().mkpath(d));
        }
        for (const QString& f : {home_ + "/clip.MP4", home_ + "/notes.txt", home_ + "/README",
                                 home_ + "/.profile", videos_ + "/a.mp4", videos_ + "/b.mov",
                                 driveB_ + "/top.mp4", driveB_ + "/cam/x.mp4"}) {
            writeFile(f, {});
        }
        volumes_ = {{driveA_, {}}, {driveB_, QStringLiteral("CAMERA")}};
        ForgetCurrentFolders();
        messages_ = std::make_unique<MessageRecorder>();
        savedCwd_ = QDir::currentPath();
    }

    void cleanup() {
        QCOMPARE(messages_->texts(), QStringList()); // no picker ever talks to the user
        messages_.reset();
        QDir::setCurrent(savedCwd_);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void cleanupTestCase() {
        SetVolumeSource(savedSource_);
        qputenv("HOME", savedHome_);
    }

    // Loaded on the home folder whatever the current folder was, as a window of its own that
    // leaves the main window usable; opened again, the same window as it was left. (The other
    // picker: bothUpAtOnce.)
    void opens() {
        QDir::setCurrent(driveB_ + "/cam");
        Opened o(PickerKind::CorFile);
        FilePicker* p = o.p();
        QVERIFY(QTest::qWaitForWindowExposed(p));
        checkLayout(*p);
        QVERIFY(!p->isModal() && p->parentWidget() == nullptr && !p->windowTitle().isEmpty());
        QCOMPARE(p->focusWidget(), folderOf(p));
        QCOMPARE(QDir::currentPath(), home_);
        QCOMPARE(driveOf(p)->drive(), driveA_);
        QCOMPARE(folderOf(p)->path(), home_);
        // Every file whatever its extension, sorted whatever the case; no dot-files, no folders.
        QCOMPARE(texts(filesOf(p)), (QStringList{"clip.MP4", "notes.txt", "README"}));
        QVERIFY(entryFor(folderOf(p), videos_) && !entryFor(folderOf(p), home_ + "/.config"));
        QVERIFY(openEntry(folderOf(p), videos_));
        o.slot.Open();
        QCOMPARE(o.p(), p);
        QVERIFY(p->isVisible());
        QCOMPARE(folderOf(p)->path(), videos_);
        int windows = 0;
        for (const QWidget* w : QApplication::topLevelWidgets()) {
            windows += w->objectName() == p->objectName() ? 1 : 0;
        }
        QCOMPARE(windows, 1);
        QCOMPARE(o.writes, 0);
    }

    // Opening one picker makes the home folder current again, but never moves the other's
    // lists; OK writes only the picker's own box, from its own lists.
    void bothUpAtOnce() {
        Opened cor(PickerKind::CorFile);
        QVERIFY(openEntry(folderOf(cor.p()), videos_));
        QCOMPARE(QDir::currentPath(), videos_);
        Opened ref(PickerKind::RefFile);
        QVERIFY(ref.p() != cor.p() && ref.p()->isVisible() && cor.p()->isVisible());
        QVERIFY(ref.p()->windowTitle() != cor.p()->windowTitle());
        QCOMPARE(QDir::currentPath(), home_);
        QCOMPARE(folderOf(ref.p())->path(), home_);
        QCOMPARE(filesOf(cor.p())->path(), videos_);
        selectFile(filesOf(cor.p()), "a.mp4");
        clickButton(cor.p(), "cmdOK");
        QCOMPARE(cor.text, videos_ + "/a.mp4");
        QCOMPARE(ref.writes, 0);
        QVERIFY(!cor.p()->isVisible() && ref.p()->isVisible());
    }

    void confirm_data() {
        QTest::addColumn<PickerKind>("kind");
        QTest::addColumn<QString>("folder"); // below home, empty for home itself
        QTest::addColumn<QString>("file");   // to select, empty for none
        QTest::addColumn<bool>("enterKey");  // confirm by Enter instead of a click on OK
        QTest::addColumn<QString>("written");
        const auto cor = PickerKind::CorFile;
        const auto ref = PickerKind::RefFile;
        QTest::newRow("cor file") << cor << QString("") << "clip.MP4" << false << "/clip.MP4";
        QTest::newRow("no selection") << cor << QString("") << "" << false << "/";
        QTest::newRow("subfolder file")
            << ref << QString("/Videos") << "b.mov" << false << "/Videos/b.mov";
        QTest::newRow("Enter key")
            << cor << QString("/Videos") << "a.mp4" << true << "/Videos/a.mp4";
    }

    void confirm() {
        QFETCH(PickerKind, kind);
        QFETCH(QString, folder);
        QFETCH(QString, file);
        QFETCH(QString, written);
        Opened o(kind);
        if (!folder.isEmpty()) {
            QVERIFY(openEntry(folderOf(o.p()), home_ + folder));
        }
        if (!file.isEmpty()) {
            selectFile(filesOf(o.p()), file);
        }
        if (QFETCH(bool, enterKey); enterKey) {
            filesOf(o.p())->setFocus();
            QTest::keyClick(filesOf(o.p()), Qt::Key_Return);
        } else {
            clickButton(o.p(), "cmdOK");
        }
        // The whole box is replaced, its prompt included.
        QCOMPARE(o.text, home_ + written);
        QCOMPARE(o.writes, 1);
        QVERIFY(o.p() != nullptr && !o.p()->isVisible()); // hidden, still loaded
    }

    void fileGestures_data() {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<bool>("confirms");
        QTest::newRow("double-click on a file") << "dblclick" << true;
        QTest::newRow("keypad Enter in the file list") << "enter files" << true;
        QTest::newRow("Enter in the folder list opens") << "enter folders" << false;
    }

    void fileGestures() {
        QFETCH(QString, gesture);
        QFETCH(bool, confirms);
        Opened o(PickerKind::RefFile);
        FilePicker* p = o.p();
        QVERIFY(QTest::qWaitForWindowExposed(p));
        FileList* files = filesOf(p);
        selectFile(files, "notes.txt");
        if (gesture == "dblclick") {
            doubleClick(files->viewport(), files->visualItemRect(files->currentItem()).center());
        } else if (gesture == "enter files") {
            files->setFocus();
            QTest::keyClick(files, Qt::Key_Enter, Qt::KeypadModifier);
        } else {
            QVERIFY(openEntry(folderOf(p), videos_, true));
            QCOMPARE(folderOf(p)->path(), videos_);
            QCOMPARE(QDir::currentPath(), videos_);
        }
        QCOMPARE(o.writes, confirms ? 1 : 0);
        QCOMPARE(o.text, confirms ? home_ + "/notes.txt" : prompt);
        QCOMPARE(p->isVisible(), gesture == "enter folders");
    }

    void movingClearsSelection_data() {
        QTest::addColumn<QString>("to");
        QTest::newRow("into a subfolder") << "/Videos";
        QTest::newRow("up to the drive root") << "";
    }

    void movingClearsSelection() {
        QFETCH(QString, to);
        const QString folder = to.isEmpty() ? driveA_ : home_ + to;
        Opened o(PickerKind::CorFile);
        FilePicker* p = o.p();
        selectFile(filesOf(p), "clip.MP4");
        QSignalSpy driveSpy(driveOf(p), &DriveList::changed);
        QVERIFY(openEntry(folderOf(p), folder));
        // All three lists and the program follow the folder list.
        QCOMPARE(QDir::currentPath(), folder);
        QCOMPARE(folderOf(p)->path(), folder);
        QCOMPARE(filesOf(p)->path(), folder);
        QCOMPARE(driveOf(p)->drive(), driveA_);
        QCOMPARE(driveSpy.count(), 0);
        clickButton(p, "cmdOK");
        QCOMPARE(o.text, folder + "/");
    }

    void cancelKeepsTextButFolderMoves_data() {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Cancel button") << false;
        QTest::newRow("Escape key") << true;
    }

    void cancelKeepsTextButFolderMoves() {
        Opened o(PickerKind::RefFile);
        FilePicker* p = o.p();
        QVERIFY(openEntry(folderOf(p), videos_));
        selectFile(filesOf(p), "b.mov");
        const QPoint placed(17, 23);
        p->move(placed);
        if (QFETCH(bool, escape); escape) {
            QTest::keyClick(folderOf(p), Qt::Key_Escape);
        } else {
            clickButton(p, "cmdCancel");
        }
        QVERIFY(!p->isVisible());
        QCOMPARE(o.text, prompt);
        QCOMPARE(QDir::currentPath(), videos_);
        o.slot.Open();
        QCOMPARE(o.p(), p);
        QVERIFY(p->isVisible());
        QCOMPARE(p->pos(), placed); // not centred again
        QCOMPARE(filesOf(p)->path(), videos_);
        QCOMPARE(filesOf(p)->fileName(), QStringLiteral("b.mov"));
    }

    void titleBarCloseUnloads() {
        Opened o(PickerKind::CorFile);
        QPointer<FilePicker> first = o.p();
        const QPoint centred = first->pos();
        QVERIFY(openEntry(folderOf(first), videos_));
        selectFile(filesOf(first), "a.mp4");
        first->move(centred + QPoint(40, 40));
        first->close();
        QCOMPARE(o.p(), nullptr);
        QCOMPARE(o.writes, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());
        // Loaded afresh: home folder, centred on the screen by the window's outer size.
        o.slot.Open();
        FilePicker* second = o.p();
        QVERIFY(second && second->isVisible());
        QCOMPARE(second->pos(), centred);
        QCOMPARE(folderOf(second)->path(), home_);
        QCOMPARE(QDir::currentPath(), home_);
        QCOMPARE(filesOf(second)->fileName(), QString());
        const QPoint off = second->frameGeometry().center() - second->screen()->geometry().center();
        const int slack = (second->frameGeometry().width() - second->width()) / 2 + 1;
        QVERIFY2(qAbs(off.x()) <= slack && qAbs(off.y()) <= slack, "not centred");
    }

    // Another drive picked: all three lists on the folder last current there, else its root.
    void driveRemembersFolder() {
        Opened o(PickerKind::CorFile);
        FilePicker* p = o.p();
        QVERIFY(openEntry(folderOf(p), videos_));
        selectFile(filesOf(p), "a.mp4");
        QSignalSpy driveSpy(driveOf(p), &DriveList::changed);
        QSignalSpy folderSpy(folderOf(p), &FolderList::changed);
        driveOf(p)->setFocus();
        QTest::keyClick(driveOf(p), Qt::Key_Down);
        QCOMPARE(driveOf(p)->drive(), driveB_ + " [CAMERA]");
        QCOMPARE(driveSpy.count() + folderSpy.count(), 2);
        QCOMPARE(QDir::currentPath(), driveB_);
        QCOMPARE(folderOf(p)->path(), driveB_);
        QCOMPARE(texts(filesOf(p)), QStringList{"top.mp4"});
        QCOMPARE(filesOf(p)->fileName(), QString());
        QVERIFY(openEntry(folderOf(p), driveB_ + "/cam"));
        QTest::keyClick(driveOf(p), Qt::Key_Up);
        QCOMPARE(driveOf(p)->drive(), driveA_);
        QCOMPARE(folderOf(p)->path(), videos_);
        QCOMPARE(filesOf(p)->path(), videos_);
        QCOMPARE(QDir::currentPath(), videos_);
        // The record is the program's, not the window's: the other picker shares it.
        Opened other(PickerKind::RefFile);
        QTest::keyClick(driveOf(other.p()), Qt::Key_Down);
        QCOMPARE(filesOf(other.p())->path(), driveB_ + "/cam");
        QCOMPARE(folderOf(p)->path(), videos_);
    }

    void unreadableDrive() {
        volumes_.append({root_ + "/C", QStringLiteral("GONE")}); // listed, never there
        Opened o(PickerKind::RefFile);
        FilePicker* p = o.p();
        QVERIFY(openEntry(folderOf(p), videos_));
        selectFile(filesOf(p), "a.mp4");
        QSignalSpy folderSpy(folderOf(p), &FolderList::changed);
        driveOf(p)->setFocus();
        QTest::keyClick(driveOf(p), Qt::Key_End);
        // Back on the folder list's drive, everything else as it was.
        QCOMPARE(driveOf(p)->currentText(), driveA_);
        QCOMPARE(folderSpy.count(), 0);
        QCOMPARE(filesOf(p)->path(), videos_);
        QCOMPARE(filesOf(p)->fileName(), QStringLiteral("a.mp4"));
        QCOMPARE(QDir::currentPath(), videos_);
        QTest::keyClick(driveOf(p), Qt::Key_Down); // and it still works
        QCOMPARE(folderOf(p)->path(), driveB_);
    }

    void vanishedFolder() {
        Opened o(PickerKind::CorFile);
        FilePicker* p = o.p();
        QVERIFY(QDir(videos_).removeRecursively());
        QVERIFY(openEntry(folderOf(p), videos_)); // still listed from before
        // The folder list moved; the program and the file list could not follow.
        QCOMPARE(folderOf(p)->path(), videos_);
        QCOMPARE(QDir::currentPath(), home_);
        QCOMPARE(filesOf(p)->path(), home_);
        clickButton(p, "cmdOK");
        QCOMPARE(o.text, home_ + "/");
        // The picker works on.
        o.slot.Open();
        QVERIFY(openEntry(folderOf(p), driveA_));
        clickButton(p, "cmdOK");
        QCOMPARE(o.text, driveA_ + "/");
    }

private:
    QTemporaryDir tmp_;
    QString root_, driveA_, driveB_, home_, videos_;
    QList<Volume> volumes_;
    VolumeSource savedSource_;
    QByteArray savedHome_;
    QString savedCwd_;
    std::unique_ptr<MessageRecorder> messages_;
};

QTEST_MAIN(TestPickers)
#include "test_pickers.moc"
