// With no printer installed the page goes to the PDF file the operator
// chooses, all of it over as many pages as it takes; declining or failing
// is not reported as printed.

#include "app/windows/qtprinter.h"
#include "conversations/windows/settingsummarywindow.h"
#include "conversations/sharedstate.h"
#include "core/programnames.h"
#include "search/searchreport.h"
#include "shellrig.h"
#include "support/scriptedprompt.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace telviox;
using test::ScriptedDialogs;
using test::ScriptedPrompt;

namespace {

const QString Offer =
    QStringLiteral("No printer is installed.\r\nSave the page as a PDF file instead ?");

QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QStringLiteral("(pdftotext failed: %1)")
            .arg(QString::fromLocal8Bit(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestPrinter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void searchReportToPdf();
    void settingSummaryToPdf();
    void notPrinted_data();
    void notPrinted();

private:
    QTemporaryDir m_dir;
};

void TestPrinter::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QFAIL("pdftotext (poppler-utils) is needed: scripts/install-deps.sh installs it");
}

void TestPrinter::searchReportToPdf()
{
    SharedState state;
    state.ComPort = 2;
    state.Found.FoundCount = 200;
    for (int i = 0; i < 200; ++i)
        state.Found.ResultLines[size_t(i)] =
            QStringLiteral("2026  %1 line%2 end").arg(i).arg(i, 3, 10, QChar('0'));
    const QStringList lines = search::searchReportLines(state.Found, state.ComPort);

    ScriptedPrompt prompt;
    ScriptedDialogs dialogs;
    const QString chosen = m_dir.filePath("report");
    dialogs.answers << chosen;
    prompt.expect(Offer, 0x24, ProgramTitle, Answer::Yes);
    prompt.expect("The page was saved to " + chosen + ".pdf", 0x40, ProgramTitle, Answer::Ok);
    QtPrinter printer(prompt, dialogs, [] { return QString(); });
    QVERIFY(printer.print("The Searching Result", lines));
    QVERIFY2(prompt.problems().isEmpty(), qPrintable(prompt.problems().join('\n')));
    QCOMPARE(dialogs.calls, QStringList{"save PDF|*.pdf 1"});

    // The text tool spaces the glyphs its own way: compare words.
    QString text = pdfText(chosen + ".pdf");
    text.replace(QRegularExpression(" +"), " ");
    QVERIFY2(text.startsWith("COM Port: 2\n" + QString(68, '-') + '\n'),
             qPrintable(text.left(200)));
    QVERIFY2(text.contains("Type: Dec[Hex] Rate Status Limit Limit Remark\n"),
             qPrintable(text.left(400)));
    // Every line once, in order, over several pages (a form feed between pages).
    qsizetype at = 0;
    for (int i = 0; i < 200; ++i) {
        const QString mark = QStringLiteral("line%1 end").arg(i, 3, 10, QChar('0'));
        const qsizetype next = text.indexOf(mark, at);
        QVERIFY2(next > at, qPrintable(mark));
        at = next;
    }
    QVERIFY(text.count('\f') >= 3);
}

void TestPrinter::settingSummaryToPdf()
{
    SharedState state;
    state.Conv[3] = {1, 0x2026, 9600, 16, 0, 1, 0, 0, 0, 0.0f, 0};
    state.Conv[9] = {1, 0x2011, 19200, 2, 1, 1, 0, 0, 0, 0.0f, 0};
    state.Link[9] = {"dde.calc", "Sheet1", "R1C1", 1};

    ScriptedPrompt prompt;
    ScriptedDialogs dialogs;
    const QString chosen = m_dir.filePath("summary");
    dialogs.answers << chosen;
    prompt.expect("To Print setting information", 0x24, ProgramTitle, Answer::Yes);
    prompt.expect(Offer, 0x24, ProgramTitle, Answer::Yes);
    prompt.expect("The page was saved to " + chosen + ".pdf", 0x40, ProgramTitle, Answer::Ok);
    prompt.expect("Print Complete !!!", 0, ProgramTitle, Answer::Ok);
    QtPrinter printer(prompt, dialogs, [] { return QString(); });
    SettingSummaryWindow window(state, prompt, printer);
    // What the operator wrote into the box is printed as it stands.
    auto *box = window.findChild<QPlainTextEdit *>("form4Text");
    QVERIFY(box);
    box->appendPlainText("a note");
    window.findChild<QAction *>("Toolbar1(2)")->trigger();
    QVERIFY2(prompt.problems().isEmpty(), qPrintable(prompt.problems().join('\n')));

    QString text = pdfText(chosen + ".pdf");
    text.replace(QRegularExpression(" +"), " ");
    const QString rule(49, '-');
    const QString expected = rule + "\nConv Module Address: Baud\n"
                             "Index Type: Dec[Hex] Rate Other Information\n" + rule +
                             "\n03: 2026(D)16[10] 9600 Analog Input\n"
                             "09: 2011 2[2] 19200 Service:dde.calc\n Topic:Sheet1\n Item:R1C1\n"
                             "a note\n" + rule + "\n";
    QVERIFY2(text.startsWith(expected), qPrintable(text));
}

void TestPrinter::notPrinted_data()
{
    QTest::addColumn<bool>("offerTaken");
    QTest::addColumn<QString>("file"); // empty: the dialog is cancelled
    QTest::newRow("offer declined") << false << QString();
    QTest::newRow("file dialog cancelled") << true << QString();
    QTest::newRow("file cannot be written") << true << QString("/nonexistent/folder/r.pdf");
}

void TestPrinter::notPrinted()
{
    QFETCH(bool, offerTaken);
    QFETCH(QString, file);
    ScriptedPrompt prompt;
    ScriptedDialogs dialogs;
    if (!file.isEmpty())
        dialogs.answers << file;
    prompt.expect(Offer, 0x24, ProgramTitle, offerTaken ? Answer::Yes : Answer::No);
    if (!file.isEmpty())
        prompt.expect("The page could not be saved to " + file + " !", 0x10, ProgramTitle,
                      Answer::Ok);
    QtPrinter printer(prompt, dialogs, [] { return QString(); });
    QVERIFY(!printer.print("x", {"a line"}));
    QVERIFY2(prompt.problems().isEmpty(), qPrintable(prompt.problems().join('\n')));
    QCOMPARE(dialogs.calls.size(), offerTaken ? 1 : 0);
}

QTEST_MAIN(TestPrinter)
#include "tst_printer.moc"
