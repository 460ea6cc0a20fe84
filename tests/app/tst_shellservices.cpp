// The real services behind the prompt, the file dialogs and the termination
// signals, as the program uses them.

#include "app/windows/messageboxprompt.h"
#include "app/windows/qtfiledialogs.h"
#include "app/windows/systemclose.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <csignal>

using namespace telviox;

class TestShellServices : public QObject
{
    Q_OBJECT

private slots:
    void boxStyles_data();
    void boxStyles();
    void messageWaitsForTheAnswer();
    void fileDialogsTakeTheFilterAndCancel();
    void terminationSignalBecomesASystemClose();
};

void TestShellServices::boxStyles_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QStringList>("buttons"); // object names, in order
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("press");
    QTest::addColumn<int>("answer");

    QTest::newRow("OK only") << 0 << QStringList{"buttonOk"} << int(QMessageBox::NoIcon)
                             << "buttonOk" << int(Answer::Ok);
    QTest::newRow("critical OK") << 0x10 << QStringList{"buttonOk"} << int(QMessageBox::Critical)
                                 << "buttonOk" << int(Answer::Ok);
    QTest::newRow("question Yes/No, No")
        << 0x24 << QStringList{"buttonYes", "buttonNo"} << int(QMessageBox::Question) << "buttonNo"
        << int(Answer::No);
    QTest::newRow("plain Yes/No, Yes")
        << 4 << QStringList{"buttonYes", "buttonNo"} << int(QMessageBox::NoIcon) << "buttonYes"
        << int(Answer::Yes);
    QTest::newRow("Cancel, Try Again, Continue")
        << 0x16 << QStringList{"buttonCancel", "buttonTryAgain", "buttonContinue"}
        << int(QMessageBox::Critical) << "buttonTryAgain" << int(Answer::TryAgain);
    QTest::newRow("exclamation OK/Cancel")
        << 0x31 << QStringList{"buttonOk", "buttonCancel"} << int(QMessageBox::Warning)
        << "buttonCancel" << int(Answer::Cancel);
    QTest::newRow("information") << 0x40 << QStringList{"buttonOk"} << int(QMessageBox::Information)
                                 << "buttonOk" << int(Answer::Ok);
}

void TestShellServices::boxStyles()
{
    QFETCH(int, style);
    QFETCH(QStringList, buttons);
    QFETCH(QString, press);

    QMessageBox box;
    MessageBoxPrompt::setUp(box, QStringLiteral("line 1\r\nline 2"), style, QString());
    QCOMPARE(box.text(), QStringLiteral("line 1\r\nline 2"));
    // An untitled box carries the program's title.
    QCOMPARE(box.windowTitle(), QStringLiteral("Telvioxd"));
    QTEST(int(box.icon()), "icon");
    QStringList names;
    for (QAbstractButton *button : box.buttons())
        names << button->objectName();
    names.sort();
    QStringList expected = buttons;
    expected.sort();
    QCOMPARE(names, expected);
    // The first button of the style is the default.
    QCOMPARE(box.defaultButton()->objectName(), buttons.first());

    box.findChild<QAbstractButton *>(press)->click();
    QTEST(int(MessageBoxPrompt::answerOf(box)), "answer");
}

void TestShellServices::messageWaitsForTheAnswer()
{
    MessageBoxPrompt prompt;
    QString title;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        box->findChild<QPushButton *>(QStringLiteral("buttonYes"))->click();
    });
    QCOMPARE(prompt.message(QStringLiteral("To exit Telvioxd ?"), 0x24, QStringLiteral("TELVIOXD")),
             Answer::Yes);
    QCOMPARE(title, QStringLiteral("TELVIOXD"));

    // Closing the box by its close box answers No.
    QTimer::singleShot(0, this, [] { QApplication::activeModalWidget()->close(); });
    QCOMPARE(prompt.message(QStringLiteral("?"), 0x24, QStringLiteral("TELVIOXD")), Answer::No);
}

void TestShellServices::fileDialogsTakeTheFilterAndCancel()
{
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QtFileDialogs::applyFilter(dialog, QStringLiteral("All File|*.*|.Cnv|*.CNV"), 2);
    QCOMPARE(dialog.nameFilters(),
             QStringList({QStringLiteral("All File (*.*)"), QStringLiteral(".Cnv (*.CNV)")}));
    QCOMPARE(dialog.selectedNameFilter(), QStringLiteral(".Cnv (*.CNV)"));

    QTemporaryDir dir;
    const QString chosen = QDir(dir.path()).filePath(QStringLiteral("line1.cnv"));
    QtFileDialogs dialogs;
    QString seenFilter;
    QTimer::singleShot(0, this, [&] {
        auto *open = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(open);
        QCOMPARE(open->objectName(), QStringLiteral("CommonDialog1"));
        seenFilter = open->selectedNameFilter();
        open->selectFile(chosen);
        static_cast<QDialog *>(open)->accept();
    });
    QCOMPARE(dialogs.getSaveFileName(QStringLiteral("Save As"),
                                     QStringLiteral("All File|*.*|.Cnv|*.cnv"), 2),
             std::optional<QString>(chosen));
    QCOMPARE(seenFilter, QStringLiteral(".Cnv (*.cnv)"));

    QTimer::singleShot(0, this, [] { QApplication::activeModalWidget()->close(); });
    QCOMPARE(dialogs.getOpenFileName(QStringLiteral("Open"),
                                     QStringLiteral("All File|*.*|.Cnv|*.CNV"), 2),
             std::nullopt);
}

void TestShellServices::terminationSignalBecomesASystemClose()
{
    SystemCloseWatcher watcher;
    QVERIFY(watcher.isWatching());
    QSignalSpy spy(&watcher, &SystemCloseWatcher::closeRequested);
    ::raise(SIGTERM); // handled: the test goes on
    QVERIFY(spy.wait());
    QCOMPARE(spy.first().first().toInt(), SIGTERM);
    ::raise(SIGHUP);
    QVERIFY(spy.wait());
    QCOMPARE(spy.count(), 2);
}

QTEST_MAIN(TestShellServices)
#include "tst_shellservices.moc"
