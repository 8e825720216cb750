#include "pickers/DriveList.h"
#include "pickers/FolderList.h"
#include "pickers/Volumes.h"
#include "platform/Failure.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The picker's folder and drive lists on their own, on folders under a temporary root
// standing in for the machine's volumes.
class TestPickerControls : public QObject {
    Q_OBJECT
private slots:
    void init() {
        root_ = QFileInfo(tmp_.path()).canonicalFilePath();
        ForgetCurrentFolders();
        volumes_.clear();
        savedSource_ = SetVolumeSource([this] { return volumes_; });
    }

    void cleanup() {
        SetVolumeSource(savedSource_);
        ForgetCurrentFolders();
        QDir(root_).removeRecursively();
        QDir().mkpath(root_);
    }

    void volumesRootFirst() {
        volumes_ = {{"/media/b", {}}, {"/boot", {}}, {"/", {}}, {"/media/a", {}}};
        QStringList order;
        for (const Volume& v : MountedVolumes()) {
            order << v.mountPoint;
        }
        QCOMPARE(order, (QStringList{"/", "/boot", "/media/a", "/media/b"}));
        // The machine's own list: a real root volume and no kernel file systems.
        SetVolumeSource({});
        const QList<Volume> real = MountedVolumes();
        QVERIFY(!real.isEmpty());
        QCOMPARE(real.first().mountPoint, QStringLiteral("/"));
        for (const Volume& v : real) {
            QVERIFY2(!v.mountPoint.startsWith("/proc") && !v.mountPoint.startsWith("/sys") &&
                         v.mountPoint != "/dev" && QFileInfo(v.mountPoint).isDir(),
                     qPrintable(v.mountPoint));
        }
    }

    // The open folder's ancestors step in one level each, the open folder highlighted; its
    // subfolders follow one level deeper, sorted, without hidden ones and files.
    void folderEntries() {
        const QString folder = root_ + "/top/mid";
        for (const char* sub : {"b", "A", "c", ".hidden"}) {
            QVERIFY(QDir().mkpath(folder + '/' + sub));
        }
        QVERIFY(QFile(folder + "/file.mp4").open(QIODevice::WriteOnly));
        FolderList list;
        list.setPath(folder);
        QCOMPARE(list.path(), folder);
        QStringList paths{"/"};
        for (const QString& part : folder.split('/', Qt::SkipEmptyParts)) {
            paths << QDir::cleanPath(paths.last() + '/' + part);
        }
        const qsizetype open = paths.size();
        paths << folder + "/A" << folder + "/b" << folder + "/c";
        QCOMPARE(list.count(), paths.size());
        for (int i = 0; i < list.count(); ++i) {
            QCOMPARE(list.item(i)->data(FolderList::PathRole).toString(), paths.at(i));
            QCOMPARE(list.item(i)->text(), i == 0 ? "/" : paths.at(i).section('/', -1));
            QCOMPARE(list.item(i)->data(FolderList::DepthRole).toInt(), std::min<int>(i, open));
        }
        QCOMPARE(list.currentRow(), open - 1);
    }

    void folderRaisesOnlyOnChange_data() {
        QTest::addColumn<QString>("assigned"); // relative to the temporary root
        QTest::addColumn<int>("events");
        QTest::newRow("same path, trailing slash") << "a/" << 0;
        QTest::newRow("same path, dots") << "a/b/.." << 0;
        QTest::newRow("subfolder") << "a/b" << 1;
        QTest::newRow("missing folder: list kept") << "gone" << 0;
        QTest::newRow("a file: list kept") << "a/plain" << 0;
    }

    void folderRaisesOnlyOnChange() {
        QFETCH(QString, assigned);
        QFETCH(int, events);
        QVERIFY(QDir().mkpath(root_ + "/a/b"));
        QVERIFY(QFile(root_ + "/a/plain").open(QIODevice::WriteOnly));
        FolderList list;
        list.setPath(root_ + "/a");
        const int entries = list.count();
        QSignalSpy spy(&list, &FolderList::changed);
        const bool exists = QFileInfo(root_ + '/' + assigned).isDir();
        try {
            list.setPath(root_ + '/' + assigned);
            QVERIFY(exists);
        } catch (const Failure&) {
            QVERIFY(!exists);
            QCOMPARE(list.count(), entries);
        }
        QCOMPARE(spy.count(), events);
        QCOMPARE(list.path(), exists ? QDir::cleanPath(root_ + '/' + assigned) : root_ + "/a");
    }

    // A drive whose recorded folder is gone opens on its root (test_pickers: the others).
    void folderOntoDriveWhoseFolderIsGone() {
        const QString d1 = root_ + "/d1", d2 = root_ + "/d2";
        QVERIFY(QDir().mkpath(d1) && QDir().mkpath(d2 + "/x/y"));
        volumes_ = {{d1, {}}, {d2, "LABEL"}};
        RecordCurrentFolder(d2 + "/x/y");
        QVERIFY(QDir(d2 + "/x/y").removeRecursively());
        FolderList list;
        list.setPath(d1);
        QSignalSpy spy(&list, &FolderList::changed);
        list.setDrive(DriveValue(volumes_.at(1)));
        QCOMPARE(list.path(), d2);
        QCOMPARE(spy.count(), 1);
    }

    void driveSelection_data() {
        QTest::addColumn<QString>("assigned"); // below the temporary root, or a drive value
        QTest::addColumn<QString>("selected"); // drive value afterwards
        QTest::addColumn<int>("events");
        QTest::newRow("path on the selected drive") << QString("d1/deep/er") << "d1" << 0;
        QTest::newRow("selected drive's value") << QString("d1") << "d1" << 0;
        QTest::newRow("path on the other drive") << QString("d2/x") << "d2 [CAM]" << 1;
        QTest::newRow("other drive's value") << QString("d2 [CAM]") << "d2 [CAM]" << 1;
        QTest::newRow("nested drive") << QString("d1/nested/clip") << "d1/nested" << 1;
        QTest::newRow("dot parts cleaned") << QString("d2/../d1/nested/./x") << "d1/nested" << 1;
        QTest::newRow("name prefix is not a drive") << QString("d1/nestedness") << "d1" << 0;
        QTest::newRow("path on no drive") << QString("elsewhere") << "d1" << 0;
    }

    void driveSelection() {
        QFETCH(QString, assigned);
        QFETCH(QString, selected);
        volumes_ = {{root_ + "/d2", "CAM"}, {root_ + "/d1", {}}, {root_ + "/d1/nested", {}}};
        DriveList list;
        QCOMPARE(list.count(), 3);
        list.setDrive(root_ + "/d1");
        QCOMPARE(list.drive(), root_ + "/d1");
        QSignalSpy spy(&list, &DriveList::changed);
        list.setDrive(root_ + '/' + assigned);
        QCOMPARE(list.drive(), root_ + '/' + selected);
        QCOMPARE(list.currentText(), root_ + '/' + selected);
        QTEST(int(spy.count()), "events");
    }

    void driveRefreshFollowsVanishedVolume() {
        volumes_ = {{root_ + "/d1", {}}, {root_ + "/d1/usb", {}}};
        DriveList list;
        list.setDrive(root_ + "/d1/usb/clip");
        QSignalSpy spy(&list, &DriveList::changed);
        list.refresh();
        QCOMPARE(spy.count(), 0);
        QCOMPARE(list.drive(), root_ + "/d1/usb");
        volumes_ = {{root_ + "/d1", {}}, {root_ + "/d9", {}}};
        list.refresh();
        QCOMPARE(list.count(), 2);
        QCOMPARE(list.drive(), root_ + "/d1");
        QCOMPARE(spy.count(), 1);
    }

private:
    QTemporaryDir tmp_;
    QString root_;
    QList<Volume> volumes_;
    VolumeSource savedSource_;
};

QTEST_MAIN(TestPickerControls)
#include "test_picker_controls.moc"
