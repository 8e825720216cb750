#include "pickers/DriveList.h"
#include "pickers/FileList.h"
#include "pickers/FolderList.h"
#include "pickers/Volumes.h"
#include "platform/Failure.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

void makeFile(const QString& path) {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
}

QStringList texts(const QListWidget& list) {
    QStringList out;
    for (int i = 0; i < list.count(); ++i) {
        out << list.item(i)->text();
    }
    return out;
}

} // namespace

class TestPickerControls : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void volumeOfPath_data();
    void volumeOfPath();
    void driveValue_data();
    void driveValue();
    void volumesRootFirst();

    void fileListing_data();
    void fileListing();
    void fileListSelection();
    void fileListMissingFolder();

    void folderEntries_data();
    void folderEntries();
    void folderSetPathRaisesOnlyOnChange_data();
    void folderSetPathRaisesOnlyOnChange();
    void folderMissingPathKeepsList();
    void folderOntoDrive_data();
    void folderOntoDrive();

    void driveSelection_data();
    void driveSelection();
    void driveRestoreRaisesNothing();
    void driveRefreshFollowsVanishedVolume();

private:
    QTemporaryDir tmp_;
    QString root_;
    QString savedCwd_;
    QList<Volume> volumes_;
    VolumeSource savedSource_;
};

void TestPickerControls::init() {
    QVERIFY(tmp_.isValid());
    root_ = QFileInfo(tmp_.path()).canonicalFilePath();
    savedCwd_ = QDir::currentPath();
    ForgetCurrentFolders();
    volumes_.clear();
    savedSource_ = SetVolumeSource([this] { return volumes_; });
}

void TestPickerControls::cleanup() {
    QDir::setCurrent(savedCwd_);
    SetVolumeSource(savedSource_);
    ForgetCurrentFolders();
    QDir(root_).removeRecursively();
    QDir().mkpath(root_);
}

void TestPickerControls::volumeOfPath_data() {
    QTest::addColumn<QStringList>("mountPoints");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected"); // mount point, empty for none
    const QStringList usual{"/", "/media/usb", "/media/usb/inner", "/home"};
    QTest::newRow("root holds everything") << usual << "/etc/fstab"
                                           << "/";
    QTest::newRow("root itself") << usual << "/"
                                 << "/";
    QTest::newRow("mount point itself") << usual << "/media/usb"
                                        << "/media/usb";
    QTest::newRow("longest prefix wins") << usual << "/media/usb/inner/a"
                                         << "/media/usb/inner";
    QTest::newRow("whole components only") << usual << "/media/usb2/clip.mp4"
                                           << "/";
    QTest::newRow("trailing slash") << usual << "/home/"
                                    << "/home";
    QTest::newRow("dot parts cleaned") << usual << "/home/../media/usb/./x"
                                       << "/media/usb";
    QTest::newRow("no root volume, outside") << QStringList{"/a", "/b"} << "/c/d"
                                             << "";
    QTest::newRow("no root volume, inside") << QStringList{"/a", "/b"} << "/b/d"
                                            << "/b";
}

void TestPickerControls::volumeOfPath() {
    QFETCH(QStringList, mountPoints);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QList<Volume> volumes;
    for (const QString& m : mountPoints) {
        volumes.append({m, {}});
    }
    const qsizetype i = VolumeIndexOf(volumes, path);
    QCOMPARE(i < 0 ? QString() : volumes.at(i).mountPoint, expected);
}

void TestPickerControls::driveValue_data() {
    QTest::addColumn<QString>("mountPoint");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("value");
    QTest::newRow("no label") << "/"
                              << ""
                              << "/";
    QTest::newRow("label") << "/media/usb"
                           << "CAMERA"
                           << "/media/usb [CAMERA]";
    QTest::newRow("label with blank") << "/mnt/d"
                                      << "My Disk"
                                      << "/mnt/d [My Disk]";
}

void TestPickerControls::driveValue() {
    QFETCH(QString, mountPoint);
    QFETCH(QString, label);
    QFETCH(QString, value);
    QCOMPARE(DriveValue({mountPoint, label}), value);
}

void TestPickerControls::volumesRootFirst() {
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
                     v.mountPoint != "/dev" && v.mountPoint != "/dev/pts",
                 qPrintable(v.mountPoint));
        QVERIFY2(QFileInfo(v.mountPoint).isDir(), qPrintable(v.mountPoint));
    }
}

void TestPickerControls::fileListing_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("every extension")
        << QStringList{"a.mp4", "b.MOV", "c.txt", "noext", "d.tar.gz"} << QStringList{}
        << QStringList{"a.mp4", "b.MOV", "c.txt", "d.tar.gz", "noext"};
    QTest::newRow("dot-files left out") << QStringList{".hidden", "shown.mp4", ".x.mp4"}
                                        << QStringList{} << QStringList{"shown.mp4"};
    QTest::newRow("subfolders left out")
        << QStringList{"clip.mp4"} << QStringList{"Videos", "sub.mp4"} << QStringList{"clip.mp4"};
    QTest::newRow("sorted by name, case aside")
        << QStringList{"b.mp4", "A.mp4", "c.mp4", "a2.mp4"} << QStringList{}
        << QStringList{"A.mp4", "a2.mp4", "b.mp4", "c.mp4"};
    QTest::newRow("empty folder") << QStringList{} << QStringList{"only"} << QStringList{};
}

void TestPickerControls::fileListing() {
    QFETCH(QStringList, files);
    QFETCH(QStringList, folders);
    QFETCH(QStringList, listed);
    const QString folder = root_ + "/f";
    QVERIFY(QDir().mkpath(folder));
    for (const QString& f : files) {
        makeFile(folder + '/' + f);
    }
    for (const QString& d : folders) {
        QVERIFY(QDir(folder).mkdir(d));
    }
    FileList list;
    list.setPath(folder);
    QCOMPARE(list.path(), folder);
    QCOMPARE(texts(list), listed);
    QCOMPARE(list.fileName(), QString());

    // Refresh picks up what changed on disk.
    makeFile(folder + "/zz.new");
    list.refresh();
    QCOMPARE(texts(list), listed + QStringList{"zz.new"});
}

void TestPickerControls::fileListSelection() {
    const QString one = root_ + "/one", two = root_ + "/two";
    QVERIFY(QDir().mkpath(one) && QDir().mkpath(two));
    makeFile(one + "/a.mp4");
    makeFile(one + "/b.mp4");
    makeFile(two + "/a.mp4");
    FileList list;
    list.setPath(one);
    QCOMPARE(list.selectionMode(), QAbstractItemView::SingleSelection);
    list.setCurrentRow(1);
    QCOMPARE(list.fileName(), QStringLiteral("b.mp4"));
    list.refresh();
    QCOMPARE(list.fileName(), QStringLiteral("b.mp4"));
    // Assigning a path, even the same one, leaves no file selected.
    list.setPath(one);
    QCOMPARE(list.fileName(), QString());
    list.setCurrentRow(0);
    list.setPath(two);
    QCOMPARE(list.fileName(), QString());
    QCOMPARE(list.selectedItems().size(), 0);
}

void TestPickerControls::fileListMissingFolder() {
    const QString folder = root_ + "/here";
    QVERIFY(QDir().mkpath(folder));
    makeFile(folder + "/a.mp4");
    FileList list;
    list.setPath(folder);
    QVERIFY_THROWS_EXCEPTION(Failure, list.setPath(root_ + "/gone"));
    QCOMPARE(list.path(), folder);
    QCOMPARE(texts(list), QStringList{"a.mp4"});
}

void TestPickerControls::folderEntries_data() {
    QTest::addColumn<QString>("relative"); // below the temporary root
    QTest::addColumn<QStringList>("subfolders");
    QTest::newRow("subfolders sorted") << "top" << QStringList{"b", "A", "c"};
    QTest::newRow("deeper folder") << "top/mid/low" << QStringList{"x"};
    QTest::newRow("no subfolders") << "top" << QStringList{};
}

void TestPickerControls::folderEntries() {
    QFETCH(QString, relative);
    QFETCH(QStringList, subfolders);
    const QString folder = root_ + '/' + relative;
    QVERIFY(QDir().mkpath(folder));
    for (const QString& d : subfolders) {
        QVERIFY(QDir(folder).mkdir(d));
    }
    QVERIFY(QDir(folder).mkdir(".hidden"));
    makeFile(folder + "/file.mp4");

    FolderList list;
    list.setPath(folder);
    QCOMPARE(list.path(), folder);

    QStringList ancestors{"/"};
    QStringList ancestorPaths{"/"};
    for (const QString& part : folder.split('/', Qt::SkipEmptyParts)) {
        ancestors << part;
        ancestorPaths << (ancestorPaths.size() == 1 ? "/" + part
                                                    : ancestorPaths.last() + '/' + part);
    }
    QStringList sorted = subfolders;
    sorted.sort(Qt::CaseInsensitive);
    QCOMPARE(texts(list), ancestors + sorted);

    for (int i = 0; i < list.count(); ++i) {
        const QListWidgetItem* item = list.item(i);
        const bool open = i < ancestors.size();
        const QString expectedPath =
            open ? ancestorPaths.at(i) : folder + '/' + sorted.at(i - ancestors.size());
        QCOMPARE(item->data(FolderList::PathRole).toString(), expectedPath);
        // Open entries step in one level each; subfolders sit one level below the folder.
        QCOMPARE(item->data(FolderList::DepthRole).toInt(), open ? i : int(ancestors.size()));
    }
    // The open folder is the highlighted entry.
    QCOMPARE(list.currentRow(), int(ancestors.size()) - 1);
}

void TestPickerControls::folderSetPathRaisesOnlyOnChange_data() {
    QTest::addColumn<QString>("assigned"); // relative to the temporary root
    QTest::addColumn<int>("events");
    QTest::newRow("same path") << "a" << 0;
    QTest::newRow("same path, trailing slash") << "a/" << 0;
    QTest::newRow("same path, dots") << "a/b/.." << 0;
    QTest::newRow("subfolder") << "a/b" << 1;
    QTest::newRow("parent") << "" << 1;
}

void TestPickerControls::folderSetPathRaisesOnlyOnChange() {
    QFETCH(QString, assigned);
    QFETCH(int, events);
    QVERIFY(QDir().mkpath(root_ + "/a/b"));
    FolderList list;
    list.setPath(root_ + "/a");
    QSignalSpy spy(&list, &FolderList::changed);
    list.setPath(root_ + '/' + assigned);
    QCOMPARE(spy.count(), events);
    QCOMPARE(list.path(), QDir::cleanPath(root_ + '/' + assigned));
}

void TestPickerControls::folderMissingPathKeepsList() {
    QVERIFY(QDir().mkpath(root_ + "/a/sub"));
    FolderList list;
    list.setPath(root_ + "/a");
    const QStringList before = texts(list);
    QSignalSpy spy(&list, &FolderList::changed);
    QVERIFY_THROWS_EXCEPTION(Failure, list.setPath(root_ + "/missing"));
    makeFile(root_ + "/a/plain");
    QVERIFY_THROWS_EXCEPTION(Failure, list.setPath(root_ + "/a/plain"));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(list.path(), root_ + "/a");
    QCOMPARE(texts(list), before);
}

void TestPickerControls::folderOntoDrive_data() {
    QTest::addColumn<QString>("recorded"); // below drive d2, empty for none
    QTest::addColumn<bool>("vanished");    // the recorded folder is removed afterwards
    QTest::addColumn<QString>("lands");    // below drive d2
    QTest::newRow("nothing recorded: root") << "" << false << "";
    QTest::newRow("recorded folder") << "/x/y" << false << "/x/y";
    QTest::newRow("recorded folder gone: root") << "/x/y" << true << "";
}

void TestPickerControls::folderOntoDrive() {
    QFETCH(QString, recorded);
    QFETCH(bool, vanished);
    QFETCH(QString, lands);
    const QString d1 = root_ + "/d1", d2 = root_ + "/d2";
    QVERIFY(QDir().mkpath(d1) && QDir().mkpath(d2 + "/x/y"));
    volumes_ = {{d1, {}}, {d2, "LABEL"}};
    if (!recorded.isEmpty()) {
        RecordCurrentFolder(d2 + recorded);
    }
    if (vanished) {
        QVERIFY(QDir(d2 + recorded).removeRecursively());
    }
    FolderList list;
    list.setPath(d1);
    QSignalSpy spy(&list, &FolderList::changed);
    list.setDrive(DriveValue(volumes_.at(1)));
    QCOMPARE(list.path(), d2 + lands);
    QCOMPARE(spy.count(), 1);

    // A drive that is not there leaves the list where it is.
    volumes_.append({root_ + "/d3", {}});
    QVERIFY_THROWS_EXCEPTION(Failure, list.setDrive(root_ + "/d3"));
    QVERIFY_THROWS_EXCEPTION(Failure, list.setDrive("no such drive"));
    QCOMPARE(list.path(), d2 + lands);
    QCOMPARE(spy.count(), 1);
}

void TestPickerControls::driveSelection_data() {
    QTest::addColumn<QString>("assigned"); // below the temporary root, or a drive value
    QTest::addColumn<QString>("selected"); // drive value afterwards
    QTest::addColumn<int>("events");
    QTest::newRow("path on the selected drive") << "d1/deep/er"
                                                << "d1" << 0;
    QTest::newRow("selected drive's value") << "d1"
                                            << "d1" << 0;
    QTest::newRow("path on the other drive") << "d2/x"
                                             << "d2 [CAM]" << 1;
    QTest::newRow("other drive's value") << "d2 [CAM]"
                                         << "d2 [CAM]" << 1;
    QTest::newRow("nested drive") << "d1/nested/clip"
                                  << "d1/nested" << 1;
    QTest::newRow("name prefix is not a drive") << "d1/nestedness"
                                                << "d1" << 0;
    QTest::newRow("path on no drive") << "elsewhere"
                                      << "d1" << 0;
}

void TestPickerControls::driveSelection() {
    QFETCH(QString, assigned);
    QFETCH(QString, selected);
    QFETCH(int, events);
    volumes_ = {{root_ + "/d2", "CAM"}, {root_ + "/d1", {}}, {root_ + "/d1/nested", {}}};
    DriveList list;
    QCOMPARE(list.count(), 3);
    QCOMPARE(list.itemText(0), root_ + "/d1");
    list.setDrive(root_ + "/d1");
    QCOMPARE(list.drive(), root_ + "/d1");
    QSignalSpy spy(&list, &DriveList::changed);
    list.setDrive(root_ + '/' + assigned);
    QCOMPARE(list.drive(), root_ + '/' + selected);
    QCOMPARE(list.currentText(), root_ + '/' + selected);
    QCOMPARE(spy.count(), events);
}

void TestPickerControls::driveRestoreRaisesNothing() {
    volumes_ = {{root_ + "/d1", {}}, {root_ + "/d2", {}}};
    DriveList list;
    list.setDrive(root_ + "/d1");
    QSignalSpy spy(&list, &DriveList::changed);
    list.restoreDrive(root_ + "/d2/x");
    QCOMPARE(list.drive(), root_ + "/d2");
    QCOMPARE(spy.count(), 0);
    // Later assignments compare against the restored drive.
    list.setDrive(root_ + "/d2");
    QCOMPARE(spy.count(), 0);
    list.setDrive(root_ + "/d1");
    QCOMPARE(spy.count(), 1);
}

void TestPickerControls::driveRefreshFollowsVanishedVolume() {
    volumes_ = {{root_ + "/d1", {}}, {root_ + "/d1/usb", {}}};
    DriveList list;
    list.setDrive(root_ + "/d1/usb/clip");
    QSignalSpy spy(&list, &DriveList::changed);
    list.refresh();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(list.drive(), root_ + "/d1/usb");
    volumes_.removeLast();
    volumes_.append({root_ + "/d9", {}});
    list.refresh();
    QCOMPARE(list.count(), 2);
    QCOMPARE(list.drive(), root_ + "/d1");
    QCOMPARE(spy.count(), 1);
}

QTEST_MAIN(TestPickerControls)
#include "test_picker_controls.moc"
