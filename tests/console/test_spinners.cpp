#include "WindowHarness.h"
#include "console/frmDOSOutput.h"
#include "platform/SpinScrollBar.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyleOptionSlider>

namespace {

enum class Arrow { Top, Bottom };

// Presses an arrow of the scroll bar with the mouse, where the style draws it.
void clickArrow(SpinScrollBar* bar, Arrow arrow) {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = Qt::Vertical;
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    option.subControls = QStyle::SC_All;
    const auto part =
        arrow == Arrow::Top ? QStyle::SC_ScrollBarSubLine : QStyle::SC_ScrollBarAddLine;
    const QRect rect = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar);
    QVERIFY(!rect.isEmpty());
    QTest::mouseClick(bar, Qt::LeftButton, {}, rect.center());
}

} // namespace

class TestSpinners : public QObject {
    Q_OBJECT
private slots:
    void arrows_data();
    void arrows();
    void switchingModeLeavesValues();
};

void TestSpinners::arrows_data() {
    QTest::addColumn<QString>("bar");
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("topClicks");
    QTest::addColumn<int>("bottomClicks");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("changes");
    QTest::newRow("gopm one up") << "VScroll1"
                                 << "Txtgopm" << 1 << 0 << "2" << 1;
    QTest::newRow("gopm to the top") << "VScroll1"
                                     << "Txtgopm" << 63 << 0 << "64" << 63;
    QTest::newRow("gopm stops at the top") << "VScroll1"
                                           << "Txtgopm" << 70 << 0 << "64" << 63;
    QTest::newRow("gopm down at the bottom") << "VScroll1"
                                             << "Txtgopm" << 0 << 1 << "1" << 0;
    QTest::newRow("gopl up and down") << "VScroll2"
                                      << "Txtgopl" << 5 << 2 << "4" << 7;
    QTest::newRow("smpltrk one up") << "VScroll3"
                                    << "Txtsmpltrk" << 1 << 0 << "1" << 1;
    QTest::newRow("smpltrk to the top") << "VScroll3"
                                        << "Txtsmpltrk" << 105 << 0 << "100" << 100;
    QTest::newRow("smpltrk back to zero") << "VScroll3"
                                          << "Txtsmpltrk" << 3 << 5 << "0" << 6;
}

void TestSpinners::arrows() {
    QFETCH(QString, bar);
    QFETCH(QString, box);
    QFETCH(int, topClicks);
    QFETCH(int, bottomClicks);
    frmDOSOutput window("/opt/kestrel");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* spinner = window.findChild<SpinScrollBar*>(bar);
    QSignalSpy changes(spinner, &SpinScrollBar::Change);
    for (int i = 0; i < topClicks; ++i) {
        clickArrow(spinner, Arrow::Top);
    }
    for (int i = 0; i < bottomClicks; ++i) {
        clickArrow(spinner, Arrow::Bottom);
    }
    QTEST(window.findChild<QLineEdit*>(box)->text(), "text");
    QTEST(int(changes.count()), "changes");
    QCOMPARE(QString::number(spinner->Value()), window.findChild<QLineEdit*>(box)->text());
}

void TestSpinners::switchingModeLeavesValues() {
    frmDOSOutput window("/opt/kestrel");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    clickArrow(child<SpinScrollBar>(window, "VScroll1"), Arrow::Top);
    clickArrow(child<SpinScrollBar>(window, "VScroll3"), Arrow::Top);
    for (const char* mode : {"Option1", "Option2", "Option1"}) {
        auto* option = child<QRadioButton>(window, mode);
        QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
        QVERIFY(option->isChecked());
        QCOMPARE(child<QLineEdit>(window, "Txtgopm")->text(), QString("2"));
        QCOMPARE(child<QLineEdit>(window, "Txtgopl")->text(), QString("1"));
        QCOMPARE(child<QLineEdit>(window, "Txtsmpltrk")->text(), QString("1"));
        QVERIFY(child<SpinScrollBar>(window, "VScroll1")->isEnabled());
        QVERIFY(child<SpinScrollBar>(window, "VScroll3")->isEnabled());
    }
}

QTEST_MAIN(TestSpinners)
#include "test_spinners.moc"
