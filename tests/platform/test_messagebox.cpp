#include "platform/MessageBox.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(MessageIcon)

// The real box, as the user meets it: title, icon, one OK button, text to copy.
class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    void realBox_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<MessageIcon>("icon");
        QTest::addColumn<int>("shownIcon");
        QTest::newRow("done") << "done" << MessageIcon::None << int(QMessageBox::NoIcon);
        QTest::newRow("a failed run")
            << "The repair did not succeed: untrunc-w ended with exit status 4.\n"
               "Its last line: no media samples found"
            << MessageIcon::Critical << int(QMessageBox::Critical);
    }

    void realBox() {
        QFETCH(QString, text);
        QFETCH(MessageIcon, icon);
        QApplication::clipboard()->clear();
        QString title;
        int shownIcon = -1;
        QStringList buttons;
        QString copied;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            title = box->windowTitle();
            shownIcon = int(box->icon());
            for (QAbstractButton* button : box->buttons()) {
                buttons.append(button->text().remove(u'&'));
            }
            QTest::keySequence(box, QKeySequence::Copy);
            copied = QApplication::clipboard()->text();
            box->button(QMessageBox::Ok)->click();
        });
        ShowMessage(text, icon);
        QCOMPARE(title, QStringLiteral("Kestrel"));
        QTEST(shownIcon, "shownIcon");
        QCOMPARE(buttons, QStringList{"OK"});
        QCOMPARE(copied, text);
    }
};

QTEST_MAIN(TestMessageBox)
#include "test_messagebox.moc"
