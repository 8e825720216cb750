#include "console/CommandAssembly.h"
#include "platform/CommandLineRules.h"

#include <QTest>

namespace {

enum class Mode { Interleave, SamplesPerChunk, Neither };

RepairInputs inputs(Mode mode, bool verbose, PathStyle style) {
    RepairInputs in;
    in.gopm = "1";
    in.gopl = "1";
    in.smpltrk = "0";
    in.interleave = mode == Mode::Interleave;
    in.samplesPerChunk = mode == Mode::SamplesPerChunk;
    in.logVerbose = verbose;
    in.style = style;
    if (style == PathStyle::Windows) {
        in.appFolder = R"(C:\Tools\Repair)";
        in.reference = R"(D:\cam\good.mp4)";
        in.corrupt = R"(D:\cam\clip.mp4)";
    } else {
        in.appFolder = "/opt/kestrel";
        in.reference = "/home/ann/cam/good.mp4";
        in.corrupt = "/home/ann/cam/clip.mp4";
    }
    return in;
}

} // namespace

Q_DECLARE_METATYPE(Mode)
Q_DECLARE_METATYPE(PathStyle)

class TestCommandAssembly : public QObject {
    Q_OBJECT
private slots:
    void assemble_data();
    void assemble();
    void pathsWithBlanksArriveWhole_data();
    void pathsWithBlanksArriveWhole();
    void textsGoInUnchecked();
};

void TestCommandAssembly::assemble_data() {
    QTest::addColumn<PathStyle>("style");
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("gopm");
    QTest::addColumn<QString>("gopl");
    QTest::addColumn<QString>("smpltrk");
    QTest::addColumn<bool>("verbose");
    QTest::addColumn<QString>("line");
    const auto win = PathStyle::Windows;
    const auto posix = PathStyle::Posix;
    QTest::newRow("interleave 12/10, default level")
        << win << Mode::Interleave << "12"
        << "10"
        << "0" << false
        << R"(C:\Tools\Repair\untrunc-w --gopm 12 --gopl 10 D:\cam\good.mp4 D:\cam\clip.mp4)";
    QTest::newRow("interleave 1/1, verbose")
        << win << Mode::Interleave << "1"
        << "1"
        << "0" << true
        << R"(C:\Tools\Repair\untrunc-w --gopm 1 --gopl 1 --uverbose D:\cam\good.mp4 D:\cam\clip.mp4)";
    QTest::newRow("samples per chunk 0, none")
        << win << Mode::SamplesPerChunk << "1"
        << "1"
        << "0" << false
        << R"(C:\Tools\Repair\untrunc-w --smpltrk 0 D:\cam\good.mp4 D:\cam\clip.mp4)";
    QTest::newRow("samples per chunk 5, verbose")
        << win << Mode::SamplesPerChunk << "1"
        << "1"
        << "5" << true
        << R"(C:\Tools\Repair\untrunc-w --smpltrk 5 --uverbose D:\cam\good.mp4 D:\cam\clip.mp4)";
    QTest::newRow("neither mode keeps all three, smpltrk first")
        << win << Mode::Neither << "3"
        << "2"
        << "7" << true
        << R"(C:\Tools\Repair\untrunc-w --smpltrk 7 --gopm 3 --gopl 2 --uverbose D:\cam\good.mp4 D:\cam\clip.mp4)";
    QTest::newRow("posix interleave")
        << posix << Mode::Interleave << "12"
        << "10"
        << "0" << false
        << "/opt/kestrel/untrunc-w --gopm 12 --gopl 10 /home/ann/cam/good.mp4 "
           "/home/ann/cam/clip.mp4";
    QTest::newRow("posix samples per chunk, verbose")
        << posix << Mode::SamplesPerChunk << "1"
        << "1"
        << "5" << true
        << "/opt/kestrel/untrunc-w --smpltrk 5 --uverbose /home/ann/cam/good.mp4 "
           "/home/ann/cam/clip.mp4";
}

void TestCommandAssembly::assemble() {
    QFETCH(PathStyle, style);
    QFETCH(Mode, mode);
    QFETCH(bool, verbose);
    RepairInputs in = inputs(mode, verbose, style);
    QFETCH(QString, gopm);
    QFETCH(QString, gopl);
    QFETCH(QString, smpltrk);
    in.gopm = gopm;
    in.gopl = gopl;
    in.smpltrk = smpltrk;
    QTEST(AssembleCommandLine(in), "line");
}

void TestCommandAssembly::pathsWithBlanksArriveWhole_data() {
    QTest::addColumn<QString>("appFolder");
    QTest::addColumn<QString>("reference");
    QTest::addColumn<QString>("corrupt");
    QTest::newRow("broken in My Videos") << "/opt/kestrel"
                                         << "/v/good.mp4"
                                         << "/home/ann/My Videos/clip.mp4";
    QTest::newRow("reference with tab") << "/opt/kestrel"
                                        << "/v/a\tb.mp4"
                                        << "/v/clip.mp4";
    QTest::newRow("application folder with blank") << "/home/ann/Kestrel App"
                                                   << "/v/good.mp4"
                                                   << "/v/clip.mp4";
    QTest::newRow("quote and trailing backslash") << "/opt/k"
                                                  << R"(/v/say "hi".mp4)"
                                                  << R"(/v/odd name\)";
    QTest::newRow("initial box texts") << "/opt/k"
                                       << "Select reference file"
                                       << "Select corrupt file";
}

void TestCommandAssembly::pathsWithBlanksArriveWhole() {
    QFETCH(QString, appFolder);
    QFETCH(QString, reference);
    QFETCH(QString, corrupt);
    RepairInputs in = inputs(Mode::Interleave, false, PathStyle::Posix);
    in.appFolder = appFolder;
    in.reference = reference;
    in.corrupt = corrupt;
    const QStringList args = SplitCommandLine(AssembleCommandLine(in));
    QCOMPARE(args, (QStringList{appFolder + "/untrunc-w", "--gopm", "1", "--gopl", "1", reference,
                                corrupt}));
}

// The boxes are filled by the spinners; whatever they hold goes in as it is.
void TestCommandAssembly::textsGoInUnchecked() {
    RepairInputs in = inputs(Mode::Interleave, false, PathStyle::Posix);
    in.gopm = " 07";
    in.gopl = "";
    in.reference = "";
    QCOMPARE(AssembleCommandLine(in),
             QString("/opt/kestrel/untrunc-w --gopm  07 --gopl   /home/ann/cam/clip.mp4"));
}

QTEST_APPLESS_MAIN(TestCommandAssembly)
#include "test_commandassembly.moc"
