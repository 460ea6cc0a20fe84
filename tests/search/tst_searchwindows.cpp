// The search settings dialog stores what the operator chose and nothing on
// Cancel; the result window lists and prints the last search; the supported
// modules window shows the picked model's text.

#include "conversations/sharedstate.h"
#include "core/printer.h"
#include "core/programnames.h"
#include "search/searchreport.h"
#include "search/supportedmodels.h"
#include "search/windows/configdialog.h"
#include "search/windows/modulewindow.h"
#include "search/windows/resultwindow.h"
#include "support/recordingprinter.h"
#include "support/scriptedprompt.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace telviox;
using test::RecordingPrinter;
using test::ScriptedPrompt;

namespace {

using Flags = std::array<quint8, 11>;

template <typename T> T *child(QWidget &w, const QString &name)
{
    T *c = w.findChild<T *>(name);
    if (!c)
        qFatal("no %s", qPrintable(name));
    return c;
}

void fillFound(SharedState &state, int count)
{
    state.Found.FoundCount = qint16(count);
    for (int i = 0; i < count; ++i)
        state.Found.ResultLines[size_t(i)] = QStringLiteral("2026  %1[%2]").arg(i).arg(i, 0, 16);
}

} // namespace

class TestSearchWindows : public QObject
{
    Q_OBJECT

private slots:
    void settingsStoredOnOkOnly_data();
    void settingsStoredOnOkOnly();
    void resultWindowListsAndPrints_data();
    void resultWindowListsAndPrints();
    void reportLayout();
    void moduleWindowShowsThePickedModel();
};

void TestSearchWindows::settingsStoredOnOkOnly_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<qint16>("port");
    QTest::addColumn<Flags>("flags");
    QTest::addColumn<qint16>("checksum");
    const Flags start{1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1};
    QTest::newRow("unchanged") << "" << qint16(7) << start << qint16(1);
    QTest::newRow("clear") << "clear" << qint16(7) << Flags{} << qint16(1);
    QTest::newRow("only 9600") << "only9600" << qint16(7) << Flags{0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}
                               << qint16(1);
    QTest::newRow("untied twelfth box") << "twelfth" << qint16(7) << start << qint16(1);
    QTest::newRow("option No") << "no" << qint16(7) << start << qint16(0);
    QTest::newRow("cancel keeps all") << "cancel" << qint16(7) << start << qint16(1);
    // A port beyond the list (an edited configuration file) is shown and
    // stored as COM1, never as port 0 or 301.
    QTest::newRow("port beyond the list") << "port300" << qint16(1) << start << qint16(1);
}

void TestSearchWindows::settingsStoredOnOkOnly()
{
    QFETCH(QString, action);
    QFETCH(qint16, port);
    QFETCH(Flags, flags);
    QFETCH(qint16, checksum);
    SharedState state;
    state.ComPort = action == "port300" ? 300 : 7;
    state.SearchBauds = {1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1};
    state.SearchChecksum = 5;
    ConfigDialog dialog(state);
    auto box = [&](int i) {
        return child<QCheckBox>(dialog, QStringLiteral("baudrateCheck(%1)").arg(i));
    };
    QCOMPARE(child<QComboBox>(dialog, "Combo1")->currentText(),
             action == "port300" ? "COM1" : "COM7");
    QVERIFY(child<QRadioButton>(dialog, "Option1(1)")->isChecked());

    if (action == "clear" || action == "only9600")
        child<QPushButton>(dialog, "Command4")->click();
    if (action == "only9600")
        box(7)->click();
    if (action == "twelfth")
        box(11)->click();
    if (action == "no")
        child<QRadioButton>(dialog, "Option1(0)")->click();
    if (action == "cancel") {
        child<QPushButton>(dialog, "Command4")->click();
        child<QRadioButton>(dialog, "Option1(0)")->click();
        child<QPushButton>(dialog, "cancelCmd")->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    } else {
        child<QPushButton>(dialog, "okCmd")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    QCOMPARE(state.ComPort, port);
    QCOMPARE(state.SearchBauds, flags);
    QCOMPARE(state.SearchChecksum != 0, checksum != 0);
    if (action == "cancel")
        QCOMPARE(state.SearchChecksum, qint16(5));
}

void TestSearchWindows::resultWindowListsAndPrints_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("printed");
    QTest::newRow("nothing found") << 0 << Answer::Ok << false;
    QTest::newRow("printed") << 3 << Answer::Yes << true;
    QTest::newRow("not wanted") << 3 << Answer::No << false;
    QTest::newRow("limit with a unit's slots") << 207 << Answer::Yes << true;
    QTest::newRow("page did not go out") << 200 << Answer::Yes << false;
}

void TestSearchWindows::resultWindowListsAndPrints()
{
    QFETCH(int, count);
    QFETCH(Answer, answer);
    QFETCH(bool, printed);
    SharedState state;
    fillFound(state, count);
    ScriptedPrompt prompt;
    RecordingPrinter printer;
    printer.succeed = printed || answer == Answer::No;
    if (count == 0) {
        prompt.expect("No Q-2000 Module Found !!!", 0x30, ProgramTitle, Answer::Ok);
    } else {
        prompt.expect("To Print Q-2000 module information ?", 0x24, ProgramTitle, answer);
        if (printed)
            prompt.expect("Print Complete !!!", 0, ProgramTitle, Answer::Ok);
    }
    ResultWindow window(state, prompt, printer);
    auto *list = child<QListWidget>(window, "moduleList");
    QCOMPARE(list->count(), count);
    if (count > 0)
        QCOMPARE(list->item(count - 1)->text(),
                 state.Found.ResultLines[size_t(count - 1)].leftJustified(80));

    window.findChild<QAction *>("Toolbar1(2)")->trigger();
    QVERIFY2(prompt.problems().isEmpty(), qPrintable(prompt.problems().join('\n')));
    const bool asked = count > 0 && answer == Answer::Yes;
    QCOMPARE(printer.jobs.size(), asked ? 1 : 0);
    if (asked)
        QCOMPARE(printer.jobs.front().size(), count + 6);

    // The search table is read, never changed.
    QCOMPARE(state.Found.FoundCount, qint16(count));
    window.findChild<QAction *>("Toolbar1(4)")->trigger();
    QCOMPARE(prompt.beeps(), 1);
}

void TestSearchWindows::reportLayout()
{
    SharedState state;
    fillFound(state, 2);
    state.Found.ResultLines[1] = QString(90, 'x'); // longer than its fixed width
    const QString dashes(68, '-');
    QCOMPARE(search::searchReportLines(state.Found, 3),
             (QStringList{"COM Port: 3", dashes, "Module Address: Baud   Alarm    High    Low",
                          "Type:  Dec[Hex] Rate   Status   Limit   Limit  Remark", dashes,
                          QString("2026  0[0]").leftJustified(80), QString(80, 'x'), dashes}));
    state.Found.FoundCount = -1;
    QCOMPARE(search::foundLines(state.Found), QStringList());
}

void TestSearchWindows::moduleWindowShowsThePickedModel()
{
    ModuleWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *list = child<QListWidget>(window, "List1");
    auto *text = child<QPlainTextEdit>(window, "Text1");
    const auto shown = [&] { return text->toPlainText(); };
    const auto plain = [](QString t) { return t.remove('\r'); };
    QCOMPARE(window.windowTitle(), "Module Supported for this Version...");
    QCOMPARE(shown(), plain(search::openingFeatureText()));

    const auto release = [&](int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
    };
    release(list->count() - 1);
    QCOMPARE(shown(), plain(*search::featureText("2032")));
    release(0);
    QCOMPARE(shown(), plain(*search::featureText("2026")));
    // Released again without a change: the selected model's text once more.
    text->setPlainText("scribbled");
    release(0);
    QCOMPARE(shown(), plain(*search::featureText("2026")));

    child<QPushButton>(window, "Toggle1")->click();
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(TestSearchWindows)
#include "tst_searchwindows.moc"
