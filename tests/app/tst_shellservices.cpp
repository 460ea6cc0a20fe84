// The real message box and file dialogs behind the program's prompts.

#include "app/windows/messageboxprompt.h"
#include "app/windows/qtfiledialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace telviox;

class TestShellServices : public QObject
{
    Q_OBJECT

private slots:
    void exitQuestionAnswers()
    {
        MessageBoxPrompt prompt;
        QTimer::singleShot(0, this, [] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            QCOMPARE(box->defaultButton()->objectName(), QStringLiteral("buttonYes"));
            box->findChild<QPushButton *>(QStringLiteral("buttonNo"))->click();
        });
        QCOMPARE(prompt.message(QStringLiteral("?"), 0x24, QStringLiteral("TELVIOXD")), Answer::No);
        // Closing the box by its close box is a No, never a Yes.
        QTimer::singleShot(0, this, [] { QApplication::activeModalWidget()->close(); });
        QCOMPARE(prompt.message(QStringLiteral("?"), 0x24, QStringLiteral("TELVIOXD")), Answer::No);
    }

    void fileDialogFilters()
    {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        QtFileDialogs::applyFilter(dialog, QStringLiteral("All File|*.*|.Cnv|*.CNV"), 2);
        QCOMPARE(dialog.nameFilters(), QStringList({"All File (*.*)", ".Cnv (*.CNV)"}));
        QCOMPARE(dialog.selectedNameFilter(), QStringLiteral(".Cnv (*.CNV)"));
        // Closing the dialog is a cancel.
        QTimer::singleShot(0, this, [] { QApplication::activeModalWidget()->close(); });
        QCOMPARE(QtFileDialogs().getOpenFileName(QStringLiteral("Open"),
                                                 QStringLiteral("All File|*.*|.Cnv|*.CNV"), 2),
                 std::nullopt);
    }
};

QTEST_MAIN(TestShellServices)
#include "tst_shellservices.moc"
