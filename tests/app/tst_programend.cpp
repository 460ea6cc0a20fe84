// The program ended by the system in the states it waits in: a termination
// signal while a box waits for an answer closes the box, asks nothing, writes
// nothing and ends the program. In-process with the real boxes and the real
// signal watcher, on virtual time and a simulated line.

#include "app/shell/configfile.h"
#include "app/shellrig.h"
#include "app/windows/mainwindow.h"
#include "app/windows/messageboxprompt.h"
#include "app/windows/program.h"
#include "core/systemclose.h"
#include "conversations/conversationfiles.h"
#include "device/catalogue.h"
#include "server/ddetestbus.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

using namespace telviox;

namespace {

const QByteArray Line = R"({"modules": [
    {"name": "2026", "address": 1, "baud": 9600, "inputs": [21.5]}]})";

// How the test answers the box that comes up. (The file is written with CR LF
// so that the program's own writing, with LF, would show.)
enum class Reply { Signal, Yes };

struct Rig
{
    explicit Rig(QList<int> ports)
        : simLine(test::loadLine(Line)),
          link(clock, test::lineOnPorts(*simLine, clock, ports), home.path()),
          program(ProgramServices{state, prompt, dialogs, clock, link, home.path(),
                                  QDBusConnection::sessionBus()},
                  [this](qint64 ms) { clock.advance(ms); })
    {
        QObject::connect(&program, &Program::dismissDialogs, &program,
                         [this] { prompt.dismissAll(); });
        QObject::connect(&watcher, &SystemCloseWatcher::closeRequested, &program,
                         &Program::endBySystem);
        // Every box that comes up is noted once and answered as the test says.
        QObject::connect(&watch, &QTimer::timeout, &watch, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || box == lastBox)
                return;
            lastBox = box;
            boxes << box->text();
            if (reply == Reply::Yes)
                box->findChild<QPushButton *>(QStringLiteral("buttonYes"))->click();
            else
                ::raise(signalNumber);
        });
        watch.start(5);
    }

    QString path(const QString &name) const { return QDir(home.path()).filePath(name); }
    void write(const QString &name, const QByteArray &bytes) const
    {
        test::writeFile(path(name), bytes);
    }
    QByteArray config() const { return test::readFile(path(QStringLiteral("lumvex.cfg"))); }

    // default.cnv with conversation 0 on the thermocouple, and its companion.
    void writeList() const
    {
        ConvTable conv{};
        conv[0] = ConvRecord{1, catalogue::typeCodeOfName(QStringLiteral("2026")), 9600, 1, 0, 1};
        LinkTable links{};
        links[IntervalEntry].Linked = 1000;
        QCOMPARE(writePair(path(QStringLiteral("default.cnv")), encodeCnv(conv),
                           path(QStringLiteral("default.dde")), *encodeCompanion(links))
                     .ok,
                 true);
    }

    QTemporaryDir home;
    VirtualClock clock;
    std::unique_ptr<sim::SimLine> simLine;
    SerialLink link;
    SharedState state;
    MessageBoxPrompt prompt;
    test::ScriptedDialogs dialogs;
    SystemCloseWatcher watcher;
    Program program;
    QTimer watch;
    QPointer<QMessageBox> lastBox;
    QStringList boxes;
    Reply reply = Reply::Signal;
    int signalNumber = SIGTERM;
};

} // namespace

class TestProgramEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString reason;
        if (!m_bus.start(&reason))
            QSKIP(qPrintable(reason));
    }

    void signalWhileTheStartWaitsInABox_data()
    {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QString>("box"); // its text; <home> the program's folder
        QTest::addColumn<int>("signalNumber");
        const QList<std::pair<const char *, int>> numbers = {
            {"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}, {"SIGHUP", SIGHUP}};
        for (const auto &signal : numbers) {
            // Named copies: a lambda may not capture structured bindings in C++17.
            const char *const name = signal.first;
            const int number = signal.second;
            const auto row = [&](const char *tag, const char *setUp, const char *box) {
                QTest::addRow("%s, %s", tag, name)
                    << QString::fromLatin1(setUp) << QString::fromLatin1(box) << number;
            };
            row("no configuration", "", "File Not exist !!!<home>/lumvex.cfg");
            row("auto-run without default.cnv", "config", "File Not exist !!!<home>/default.cnv");
            row("auto-run on a broken pair", "config broken", "No File Selection !!!");
            row("port that cannot be opened", "config list", "Quit this demo?");
        }
    }

    void signalWhileTheStartWaitsInABox()
    {
        QFETCH(QString, setUp);
        QFETCH(QString, box);
        Rig rig({}); // nothing behind any port
        QFETCH(int, signalNumber);
        rig.signalNumber = signalNumber;
        QVERIFY(rig.watcher.isWatching());
        if (setUp.contains(u"config"))
            rig.write(QStringLiteral("lumvex.cfg"), "1,16,0,1\r\n");
        if (setUp.contains(u"broken")) {
            // A pair whose interval (0) no scroll bar takes.
            rig.write(QStringLiteral("default.cnv"), QByteArray(896, '\0'));
            rig.write(QStringLiteral("default.dde"), QByteArray(33 * 80, '\0'));
        }
        if (setUp.contains(u"list"))
            rig.writeList();
        const QByteArray config = rig.config();

        QVERIFY(!rig.program.start());
        QCOMPARE(rig.boxes, QStringList{box.replace(QStringLiteral("<home>"), rig.home.path())});
        QVERIFY(rig.program.hasEnded() && !rig.program.window());
        QCOMPARE(rig.config(), config);
        QCOMPARE(rig.state.ServerRunning, qint16(0));
        QVERIFY(!rig.link.isOpen(1));
        QVERIFY(!QApplication::activeModalWidget());
    }

    // Yes to the port's question at auto-run ends the program there.
    void quitAfterThePortErrorAtAutoRun()
    {
        Rig rig({});
        rig.reply = Reply::Yes;
        rig.write(QStringLiteral("lumvex.cfg"), "1,16,0,1\r\n");
        rig.writeList();
        QVERIFY(!rig.program.start());
        QCOMPARE(rig.boxes, QStringList{QStringLiteral("Quit this demo?")});
        QVERIFY(rig.program.hasEnded() && !rig.program.window());
        QCOMPARE(rig.config(), QByteArray("1,16,0,1\r\n"));
    }

    // The operator's exit question is up when the system ends the program:
    // the question goes, nothing is written, the running server stops.
    void signalWhileTheExitQuestionWaits()
    {
        Rig rig({1});
        rig.write(QStringLiteral("lumvex.cfg"), "1,16,0,1\r\n");
        rig.writeList();
        QVERIFY(rig.program.start());
        MainWindow *window = rig.program.window();
        QCOMPARE(rig.state.ServerRunning, qint16(1));
        window->menuItem(QStringLiteral("mnuExit"))->trigger();
        QCOMPARE(rig.boxes, QStringList{QStringLiteral("To exit Telvioxd ?")});
        QVERIFY(rig.program.hasEnded() && !window->isVisible());
        QCOMPARE(rig.state.ServerRunning, qint16(0));
        QCOMPARE(rig.config(), QByteArray("1,16,0,1\r\n"));
    }

    // The session ends (the session manager's Quit after its save request):
    // no question, nothing written.
    void endOfTheSession()
    {
        Rig rig({1});
        rig.write(QStringLiteral("lumvex.cfg"), "1,16,0,0\r\n");
        QVERIFY(rig.program.start());
        QEvent quit(QEvent::Quit);
        rig.program.eventFilter(qApp, &quit);
        QTest::qWait(20); // a box would come up meanwhile
        QVERIFY(rig.boxes.isEmpty());
        QVERIFY(rig.program.hasEnded() && !rig.program.window()->isVisible());
        QCOMPARE(rig.config(), QByteArray("1,16,0,0\r\n"));
    }

private:
    test::TestBus m_bus;
};

QTEST_MAIN(TestProgramEnd)
#include "tst_programend.moc"
