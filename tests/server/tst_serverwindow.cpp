// The server window with the real items on a private bus: its boxes and
// labels, what it shows, and how it stops, hides and comes back.

#include "ddetestbus.h"
#include "server/ddeprogramitems.h"
#include "server/serverrig.h"
#include "server/windows/serverwindow.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace telviox;
using namespace Qt::StringLiterals;
using namespace telviox::test;

namespace {

const QString Dest = u"dde.TELVIOXD"_s;

// The server as the program builds it, with the window host as its view, on
// a line without modules.
struct Server
{
    explicit Server(QMdiArea *area)
        : line(loadLine(R"({"modules": []})")), link(clock, sim::simDeviceFactory(*line, clock)),
          library(link),
          host(items, area), context{state, link, library, clock, prompt, items, source, status},
          cycle(context, establish, host, [] { QFAIL("the server must not end the program"); })
    {
        host.setPollCycle(&cycle);
        host.setMenusEnabledHandler([this](bool enabled) { menusEnabled = enabled; });
        state.ComPort = 1;
        state.Conv[0].BaudRate = 9600;
        state.Link[IntervalEntry].Linked = 500;
        establish.checks[0] = true;
    }
    ~Server() { host.setPollCycle(nullptr); }

    void run()
    {
        cycle.mnuRunDDE_Click();
        prompt.reset();
    }
    QLineEdit *box(int position) const
    {
        return host.serverWindow()->findChild<QLineEdit *>(u"Text%1"_s.arg(position));
    }

    VirtualClock clock;
    std::unique_ptr<sim::SimLine> line;
    SerialLink link;
    ModuleLibrary library;
    ScriptedPrompt prompt;
    SharedState state;
    DdeProgramItems items;
    FakeSource source;
    RecordingStatus status;
    FakeEstablish establish;
    ServerWindowHost host;
    ServerContext context;
    PollCycle cycle;
    bool menusEnabled = true;
};

} // namespace

class TestServerWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void windowCarriesItsItems_data();
    void windowCarriesItsItems();
    void filledAndPokedTextsShow();
    void quitStopsTheServerAndWithdrawsTheItems();
    void minimiseHidesAndOpenRestores_data() { windowCarriesItsItems_data(); }
    void minimiseHidesAndOpenRestores();

private:
    void make(bool mdi);
    // A call from a client connection of its own, answered while the event
    // loop runs (the server lives in this thread).
    QDBusMessage call(const QString &method, const QVariantList &args);
    bool served() const
    {
        return QDBusConnection::connectToBus(m_bus.address(), u"client"_s)
            .interface()
            ->isServiceRegistered(Dest);
    }

    TestBus m_bus;
    std::unique_ptr<QMdiArea> m_area;
    std::unique_ptr<Server> m_server;
};

void TestServerWindow::initTestCase()
{
    QString reason;
    if (!m_bus.start(&reason))
        QSKIP(qPrintable(reason));
}

void TestServerWindow::cleanup()
{
    if (m_server)
        QVERIFY2(m_server->prompt.problems().isEmpty(),
                 qPrintable(m_server->prompt.problems().join('\n')));
    m_server.reset();
    m_area.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestServerWindow::make(bool mdi)
{
    if (mdi) {
        m_area = std::make_unique<QMdiArea>();
        m_area->resize(800, 600);
        m_area->show();
    }
    m_server = std::make_unique<Server>(m_area.get());
    m_server->run();
}

QDBusMessage TestServerWindow::call(const QString &method, const QVariantList &args)
{
    QDBusConnection client = QDBusConnection::connectToBus(m_bus.address(), u"client"_s);
    QDBusMessage message =
        QDBusMessage::createMethodCall(Dest, u"/Form5"_s, u"dde.Topic"_s, method);
    message.setArguments(args);
    QDBusPendingCallWatcher watcher(client.asyncCall(message));
    QSignalSpy done(&watcher, &QDBusPendingCallWatcher::finished);
    if (!watcher.isFinished())
        done.wait(30000);
    return watcher.reply();
}

void TestServerWindow::windowCarriesItsItems_data()
{
    QTest::addColumn<bool>("mdi");
    QTest::newRow("window of its own") << false;
    QTest::newRow("MDI child") << true;
}

void TestServerWindow::windowCarriesItsItems()
{
    QFETCH(bool, mdi);
    make(mdi);
    QWidget *window = m_server->host.serverWindow();
    QVERIFY(window);
    QVERIFY(m_server->host.frame()->isVisible());
    if (mdi)
        QCOMPARE(m_area->subWindowList().value(0)->widget(), window);

    for (int position = 1; position <= 32; ++position)
        QVERIFY(m_server->box(position));
    QVERIFY(!m_server->menusEnabled);
    QVERIFY(m_server->cycle.timerEnabled());
}

void TestServerWindow::filledAndPokedTextsShow()
{
    make(false);
    m_server->cycle.acquisition().FillText(3, u"+1.500 "_s);
    QCOMPARE(m_server->box(3)->text(), u"+1.500 "_s);
    QCOMPARE(call(u"Request"_s, {u"Text3"_s}).arguments().value(0), QVariant(u"+1.500 "_s));

    // What the operator types goes out as well.
    m_server->box(7)->setFocus();
    QTest::keyClicks(m_server->box(7), u"by hand"_s);
    QCOMPARE(m_server->items.text(7), u"by hand"_s);

    for (const char *item : {"Text1", "Text9"}) {
        const QDBusMessage poke = call(u"Poke"_s, {QString::fromLatin1(item), u"poked"_s});
        QCOMPARE(poke.type(), QDBusMessage::ReplyMessage);
    }
    QCoreApplication::processEvents();
    QCOMPARE(m_server->box(1)->text(), u"poked"_s);
    QCOMPARE(m_server->box(9)->text(), u"poked"_s);
    // Polled conversation 0 writes Text1 on the tick; Text9 keeps the poke.
    m_server->cycle.Timer1_Timer();
    QCOMPARE(m_server->box(1)->text(), QString());
    QCOMPARE(m_server->box(9)->text(), u"poked"_s);
    QCOMPARE(m_server->items.text(9), u"poked"_s);
}

void TestServerWindow::quitStopsTheServerAndWithdrawsTheItems()
{
    make(false);
    QVERIFY(served());
    m_server->cycle.acquisition().FillText(4, u"left over"_s);
    QPointer<QWidget> window = m_server->host.serverWindow();
    for (ConvRecord &record : m_server->state.Conv)
        record.LinkActive = 1;

    QTest::mouseClick(window->findChild<QPushButton *>("form5quitCmd"), Qt::LeftButton);
    // The stop and the window's closing steps beep once each, and only once.
    m_server->cycle.serverWindowClosed();
    QCOMPARE(m_server->prompt.beeps(), 2);
    for (const ConvRecord &record : m_server->state.Conv)
        QCOMPARE(record.LinkActive, qint16(0));
    QVERIFY(!m_server->link.isOpen(m_server->state.ComPort));
    QCOMPARE(m_server->state.ServerRunning, qint16(0));
    QVERIFY(m_server->menusEnabled);
    QVERIFY(!m_server->cycle.timerEnabled());
    QVERIFY(!served());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(window.isNull());

    // A new run starts with empty boxes and items.
    m_server->run();
    QVERIFY(served());
    QCOMPARE(m_server->box(4)->text(), QString());
    QCOMPARE(call(u"Request"_s, {u"Text4"_s}).arguments().value(0), QVariant(QString()));
}

void TestServerWindow::minimiseHidesAndOpenRestores()
{
    QFETCH(bool, mdi);
    make(mdi);
    QWidget *frame = m_server->host.frame();

    frame->showMinimized();
    QCoreApplication::processEvents();
    QVERIFY(frame->isHidden());
    QVERIFY(served()); // hidden, still serving

    m_server->cycle.mnuDDE_Click(); // "Open DDE Windows"
    QVERIFY(frame->isVisible());
    QVERIFY(!frame->isMinimized());
    QCOMPARE(m_server->host.frame(), frame); // the same window, not a new one

    // Its close box stops the server: one beep, links and name gone.
    m_server->state.Conv[0].LinkActive = 1;
    QVERIFY(frame->close());
    QCOMPARE(m_server->prompt.beeps(), 1);
    QVERIFY(!m_server->link.isOpen(m_server->state.ComPort));
    QCOMPARE(m_server->state.Conv[0].LinkActive, qint16(0));
    QCOMPARE(m_server->state.ServerRunning, qint16(0));
    QVERIFY(m_server->menusEnabled);
    QVERIFY(!served());
}

QTEST_MAIN(TestServerWindow)
#include "tst_serverwindow.moc"
