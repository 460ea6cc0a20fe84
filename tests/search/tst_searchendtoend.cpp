// The search window against telvioxd-sim on a pseudo-terminal, in real time:
// the search line's modules at two rates come out as the same lines the
// simulated line gives in-process.

#include "device/simprogram.h"
#include "search/windows/searchwindow.h"
#include "searchrig.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace telviox;
using namespace telviox::test;

class SearchEndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void searchLineFile();
};

void SearchEndToEndTest::searchLineFile()
{
    QFile file(qEnvironmentVariable("TELVIOXD_SOURCE") + "/sim/search-line.json");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray json = file.readAll();
    const QList<qint32> rates = {9600, 19200};

    // What the same line gives in-process.
    SearchRig reference(json, rates);
    reference.engine.StartSearch();
    QVERIFY(reference.state.Found.FoundCount > 20);

    QTemporaryDir home;
    QVERIFY(QDir(home.path()).mkpath("ports"));
    SimProgram sim;
    QVERIFY(sim.start(home.path(), home.filePath("ports/com1"), json));

    SerialLink link(SystemClock::instance(), {}, home.path());
    ModuleLibrary library(link);
    ScriptedPrompt prompt;
    RecordingStatus status;
    SharedState state;
    state.ComPort = 1;
    for (qint32 rate : rates)
        state.SearchBauds[std::size_t(rateIndex(rate))] = 1;
    const SearchContext context{state, link, library, SystemClock::instance(), prompt, status};

    SearchWindow window(context);
    // Nothing answers beyond the last module: stop once the search is past it.
    int lastAddress = 0;
    for (int i = 0; i < reference.state.Found.FoundCount; ++i)
        lastAddress = qMax(lastAddress, int(reference.record(i).Address));
    const QString pastLast = QStringLiteral(" %1[dec]").arg(lastAddress + 1, 2, 10, QChar('0'));
    QTimer watch;
    connect(&watch, &QTimer::timeout, &window, [&] {
        if (window.findChild<QLabel *>("decaddressLabel")->text() == pastLast) {
            watch.stop();
            window.toolbarButton(3)->trigger();
        }
    });
    watch.start(0);
    window.show();
    QCoreApplication::processEvents();

    QCOMPARE(prompt.shown().size(), 0);
    QStringList listed;
    const auto *list = window.findChild<QListWidget *>("moduleList");
    for (int i = 0; i < list->count(); ++i)
        listed << list->item(i)->text();
    QCOMPARE(listed, reference.foundLines());
    // Its rate has five digits: 14 blanks before the checksum column.
    QVERIFY(listed.contains("9900  18[12]   19200" + QString(14, ' ') + "Disable" +
                            QString(8, ' ') + "Module" + QString(25, ' ')));
    QCOMPARE(state.Found.FoundCount, reference.state.Found.FoundCount);
}

QTEST_MAIN(SearchEndToEndTest)
#include "tst_searchendtoend.moc"
