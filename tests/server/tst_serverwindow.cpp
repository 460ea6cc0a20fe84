#include "conversations/establishview.h"
#include "conversations/sharedstate.h"
#include "ddetestbus.h"
#include "device/clock.h"
#include "device/modulelibrary.h"
#include "device/seriallink.h"
#include "server/ddeprogramitems.h"
#include "server/pollcycle.h"
#include "server/windows/serverwindow.h"
#include "support/scriptedprompt.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace telviox;
using telviox::test::ScriptedPrompt;
using telviox::test::TestBus;

namespace {

const QString Dest = QStringLiteral("dde.TELVIOXD");
const QString Path = QStringLiteral("/Form5");
const QString Topic = QStringLiteral("dde.Topic");

// A port that always opens and never answers: the window tests exchange
// nothing with modules.
class QuietDevice final : public PortDevice
{
public:
    OpenResult open(qint32) override
    {
        m_open = true;
        return OpenResult::Ok;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QString path() const override { return QStringLiteral("/dev/null"); }
    bool write(const QByteArray &) override { return m_open; }
    ReadResult read(QByteArray &, int) override { return ReadResult::Timeout; }

private:
    bool m_open = false;
};

class NoSource final : public LinkSource
{
public:
    bool connectItem(int, const LinkSourceName &, int) override { return false; }
    std::optional<QString> requestItem(int) override { return std::nullopt; }
};

class NoStatus final : public StatusLine
{
public:
    void setStatusText(const QString &) override {}
};

class Ticks final : public EstablishView
{
public:
    void setChecked(int index, bool ticked) override { checks[std::size_t(index)] = ticked; }
    bool isChecked(int index) const override { return checks[std::size_t(index)]; }
    void setIntervalValue(int) override {}
    std::array<bool, ConvCount> checks{};
};

// The server as the program builds it, with the window host as its view.
struct Server
{
    explicit Server(QMdiArea *area)
        : link(clock, [](int, const QString &) { return std::make_unique<QuietDevice>(); }),
          library(link),
          host(items, area), context{state, link, library, clock, prompt, items, source, status},
          cycle(context, establish, host, [this] { ++quits; })
    {
        host.setPollCycle(&cycle);
        host.setMenusEnabledHandler([this](bool enabled) { menusEnabled = enabled; });
        host.setMinimiseMainWindowHandler([this] { ++mainMinimised; });
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
    QWidget *window() const { return host.serverWindow(); }
    QLineEdit *box(int position) const
    {
        return window()->findChild<QLineEdit *>(QStringLiteral("Text%1").arg(position));
    }

    VirtualClock clock;
    SerialLink link;
    ModuleLibrary library;
    ScriptedPrompt prompt;
    SharedState state;
    DdeProgramItems items;
    NoSource source;
    NoStatus status;
    Ticks establish;
    ServerWindowHost host;
    ServerContext context;
    PollCycle cycle;
    int quits = 0;
    int mainMinimised = 0;
    bool menusEnabled = true;
};

// Windows deleted on close go at the next turn of the event loop.
void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestServerWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowCarriesItsItems_data();
    void windowCarriesItsItems();
    void itemsAreServedExactlyWhileLoaded();
    void filledTextShowsAndIsPublished();
    void pokedTextStandsUntilItsItemIsWritten();
    void quitStopsTheServerOnce();
    void closeBoxStopsTheServer_data();
    void closeBoxStopsTheServer();
    void minimiseHidesAndOpenRestores_data();
    void minimiseHidesAndOpenRestores();
    void startHiddenMinimisesBoth();
    void activationSetsTheTimer();
    void placement_data();
    void placement();

private:
    QDBusMessage call(const QString &interface, const QString &method, const QVariantList &args);
    bool nameHasOwner();

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

void TestServerWindow::init()
{
    m_area.reset();
    m_server.reset();
}

void TestServerWindow::cleanup()
{
    if (m_server) {
        QVERIFY2(m_server->prompt.problems().isEmpty(),
                 qPrintable(m_server->prompt.problems().join('\n')));
        QCOMPARE(m_server->quits, 0);
    }
    m_server.reset();
    m_area.reset();
    flushDeletes();
}

// A call from a client connection of its own, answered while the event loop
// runs (the server lives in this thread).
QDBusMessage TestServerWindow::call(const QString &interface, const QString &method,
                                    const QVariantList &args)
{
    QDBusConnection client =
        QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("client"));
    QDBusMessage message = QDBusMessage::createMethodCall(Dest, Path, interface, method);
    message.setArguments(args);
    QDBusPendingCallWatcher watcher(client.asyncCall(message));
    QSignalSpy done(&watcher, &QDBusPendingCallWatcher::finished);
    if (!watcher.isFinished())
        done.wait(30000);
    return watcher.reply();
}

bool TestServerWindow::nameHasOwner()
{
    QDBusConnection client =
        QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("client"));
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    ask << Dest;
    return client.call(ask).arguments().value(0).toBool();
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
    if (mdi) {
        m_area = std::make_unique<QMdiArea>();
        m_area->show();
    }
    m_server = std::make_unique<Server>(m_area.get());
    QVERIFY(!m_server->window());
    m_server->run();

    QWidget *window = m_server->window();
    QVERIFY(window);
    QCOMPARE(window->objectName(), QStringLiteral("Form5"));
    QCOMPARE(window->windowTitle(), QStringLiteral("DDE Conversation Channel"));
    QVERIFY(m_server->host.frame()->isVisible());
    if (mdi) {
        QCOMPARE(m_area->subWindowList().size(), 1);
        QCOMPARE(m_area->subWindowList().first()->widget(), window);
        QCOMPARE(m_area->subWindowList().first()->windowTitle(),
                 QStringLiteral("DDE Conversation Channel"));
    }

    const QStringList someCaptions{"1st:",  "2nd:",  "3rd :", "4th:",  "5th:",  "11th:", "12th:",
                                   "13th:", "20th:", "21th:", "22th:", "23th:", "24th:", "32th:"};
    const QList<int> somePositions{1, 2, 3, 4, 5, 11, 12, 13, 20, 21, 22, 23, 24, 32};
    QCOMPARE(window->findChildren<QLineEdit *>().size(), 32);
    QCOMPARE(window->findChildren<QLabel *>().size(), 32);
    for (int position = 1; position <= 32; ++position) {
        auto *label = window->findChild<QLabel *>(QStringLiteral("Label%1").arg(position));
        QVERIFY(label);
        QCOMPARE(label->buddy(), m_server->box(position));
        const qsizetype known = somePositions.indexOf(position);
        if (known >= 0)
            QCOMPARE(label->text(), someCaptions.at(known));
        else
            QVERIFY(label->text().endsWith(QStringLiteral("th:")));
    }
    auto *quit = window->findChild<QPushButton *>("form5quitCmd");
    QVERIFY(quit);
    QCOMPARE(quit->text(), QStringLiteral("&Quit"));

    // Loaded: the menus of the main window are off and the timer runs.
    QVERIFY(!m_server->menusEnabled);
    QCOMPARE(m_server->state.ServerRunning, qint16(1));
    QVERIFY(m_server->cycle.timerEnabled());
    QCOMPARE(m_server->cycle.timerInterval(), 500);
}

void TestServerWindow::itemsAreServedExactlyWhileLoaded()
{
    m_server = std::make_unique<Server>(nullptr);
    QVERIFY(!nameHasOwner());
    m_server->run();
    QVERIFY(nameHasOwner());

    m_server->cycle.acquisition().FillText(4, QStringLiteral("left over"));
    m_server->cycle.form5quitCmd_Click();
    QVERIFY(!nameHasOwner());
    QVERIFY(!m_server->window());

    // A new run starts with empty boxes and empty items.
    m_server->run();
    QVERIFY(nameHasOwner());
    QCOMPARE(m_server->box(4)->text(), QString());
    QCOMPARE(call(Topic, QStringLiteral("Request"), {QStringLiteral("Text4")})
                 .arguments()
                 .value(0)
                 .toString(),
             QString());
}

void TestServerWindow::filledTextShowsAndIsPublished()
{
    m_server = std::make_unique<Server>(nullptr);
    m_server->run();
    Acquisition &routines = m_server->cycle.acquisition();

    routines.FillText(3, QStringLiteral("+1.500 "));
    routines.FillText(32, QStringLiteral(" 000000042"));
    routines.FillText(0, QStringLiteral("nowhere"));
    routines.FillText(33, QStringLiteral("nowhere"));
    QCOMPARE(m_server->box(3)->text(), QStringLiteral("+1.500 "));
    QCOMPARE(m_server->box(32)->text(), QStringLiteral(" 000000042"));
    for (int position : {1, 2, 4, 31})
        QCOMPARE(m_server->box(position)->text(), QString());

    QCOMPARE(call(Topic, QStringLiteral("Request"), {QStringLiteral("Text3")})
                 .arguments()
                 .value(0)
                 .toString(),
             QStringLiteral("+1.500 "));
    const QDBusMessage property = call(QStringLiteral("org.freedesktop.DBus.Properties"),
                                       QStringLiteral("Get"), {Topic, QStringLiteral("Text32")});
    QCOMPARE(property.arguments().value(0).value<QDBusVariant>().variant().toString(),
             QStringLiteral(" 000000042"));

    // What the operator types goes out as well.
    QLineEdit *box = m_server->box(7);
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("by hand"));
    QCOMPARE(m_server->items.text(7), QStringLiteral("by hand"));
    QCOMPARE(call(Topic, QStringLiteral("Request"), {QStringLiteral("Text7")})
                 .arguments()
                 .value(0)
                 .toString(),
             QStringLiteral("by hand"));
}

void TestServerWindow::pokedTextStandsUntilItsItemIsWritten()
{
    m_server = std::make_unique<Server>(nullptr);
    // Conversation 0 is polled: a tick writes Text1 and nothing else.
    m_server->run();

    const QDBusMessage poke1 =
        call(Topic, QStringLiteral("Poke"), {QStringLiteral("Text1"), QStringLiteral("poked 1")});
    const QDBusMessage poke9 =
        call(Topic, QStringLiteral("Poke"), {QStringLiteral("Text9"), QStringLiteral("poked 9")});
    QCOMPARE(poke1.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(poke9.type(), QDBusMessage::ReplyMessage);
    QCoreApplication::processEvents();
    QCOMPARE(m_server->box(1)->text(), QStringLiteral("poked 1"));
    QCOMPARE(m_server->box(9)->text(), QStringLiteral("poked 9"));

    // The cleared conversation 0 publishes the empty text on every tick.
    m_server->box(1)->setText(QStringLiteral("stale"));
    m_server->cycle.Timer1_Timer();
    QCOMPARE(m_server->box(1)->text(), QString());
    QCOMPARE(m_server->items.text(1), QString());
    QCOMPARE(m_server->box(9)->text(), QStringLiteral("poked 9"));
    QCOMPARE(m_server->items.text(9), QStringLiteral("poked 9"));
}

void TestServerWindow::quitStopsTheServerOnce()
{
    m_server = std::make_unique<Server>(nullptr);
    m_server->run();
    QVERIFY(m_server->link.isOpen(m_server->state.ComPort));
    QPointer<QWidget> window = m_server->window();

    QTest::mouseClick(window->findChild<QPushButton *>("form5quitCmd"), Qt::LeftButton);
    // The stop and the window's closing steps beep once each.
    QCOMPARE(m_server->prompt.beeps(), 2);
    QVERIFY(!m_server->link.isOpen(m_server->state.ComPort));
    QVERIFY(!m_server->cycle.serverWindowLoaded());
    QCOMPARE(m_server->state.ServerRunning, qint16(0));
    QVERIFY(m_server->menusEnabled);
    QVERIFY(!m_server->cycle.timerEnabled());
    QVERIFY(!m_server->host.serverWindow());
    flushDeletes();
    QVERIFY(window.isNull());

    // Stopping again ("&Stop DDE Server" while stopped) does nothing.
    m_server->cycle.mnustopDDE_Click();
    m_server->host.unloadServerWindow();
    QCOMPARE(m_server->prompt.beeps(), 2);
}

void TestServerWindow::closeBoxStopsTheServer_data()
{
    windowCarriesItsItems_data();
}

void TestServerWindow::closeBoxStopsTheServer()
{
    QFETCH(bool, mdi);
    if (mdi) {
        m_area = std::make_unique<QMdiArea>();
        m_area->show();
    }
    m_server = std::make_unique<Server>(m_area.get());
    m_server->run();
    m_server->state.Conv[0].LinkActive = 1;

    QVERIFY(m_server->host.frame()->close());
    QCOMPARE(m_server->prompt.beeps(), 1);
    QVERIFY(!m_server->link.isOpen(m_server->state.ComPort));
    QCOMPARE(m_server->state.Conv[0].LinkActive, qint16(0));
    QCOMPARE(m_server->state.ServerRunning, qint16(0));
    QVERIFY(m_server->menusEnabled);
    QVERIFY(!nameHasOwner());
    flushDeletes();
    if (mdi)
        QVERIFY(m_area->subWindowList().isEmpty());

    // And it can be started again.
    m_server->run();
    QCOMPARE(m_server->state.ServerRunning, qint16(1));
    QVERIFY(m_server->host.frame()->isVisible());
}

void TestServerWindow::minimiseHidesAndOpenRestores_data()
{
    windowCarriesItsItems_data();
}

void TestServerWindow::minimiseHidesAndOpenRestores()
{
    QFETCH(bool, mdi);
    if (mdi) {
        m_area = std::make_unique<QMdiArea>();
        m_area->resize(800, 600);
        m_area->show();
    }
    m_server = std::make_unique<Server>(m_area.get());
    m_server->run();
    QWidget *frame = m_server->host.frame();
    const QSize normal = frame->size();

    frame->showMinimized();
    QCoreApplication::processEvents();
    QVERIFY(frame->isHidden());
    QVERIFY(m_server->cycle.serverWindowLoaded()); // hidden, still serving

    m_server->cycle.mnuDDE_Click();
    QVERIFY(frame->isVisible());
    QVERIFY(!frame->isMinimized());
    QCOMPARE(frame->size(), normal);
    QCOMPARE(m_server->host.frame(), frame); // the same window, not a new one
    QCOMPARE(m_server->mainMinimised, 0);
}

void TestServerWindow::startHiddenMinimisesBoth()
{
    m_server = std::make_unique<Server>(nullptr);
    m_server->state.StartHidden = 1;
    m_server->run();
    QCoreApplication::processEvents();
    QCOMPARE(m_server->mainMinimised, 1);
    QCOMPARE(m_server->state.StartHidden, qint16(0));
    QVERIFY(m_server->host.frame()->isHidden());
    QVERIFY(m_server->cycle.serverWindowLoaded());

    m_server->cycle.mnuDDE_Click();
    QVERIFY(m_server->host.frame()->isVisible());
    QCOMPARE(m_server->mainMinimised, 1);
}

void TestServerWindow::activationSetsTheTimer()
{
    m_area = std::make_unique<QMdiArea>();
    m_area->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_area.get()));
    m_server = std::make_unique<Server>(m_area.get());
    m_server->run();
    QMdiSubWindow *other = m_area->addSubWindow(new QLabel(QStringLiteral("other")));
    other->show();
    m_area->setActiveSubWindow(other);

    m_server->state.PollInterval = 250;
    m_area->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(m_server->host.frame()));
    QCOMPARE(m_server->cycle.timerInterval(), 250);
    QVERIFY(m_server->cycle.timerEnabled());
}

void TestServerWindow::placement_data()
{
    windowCarriesItsItems_data();
}

void TestServerWindow::placement()
{
    QFETCH(bool, mdi);
    QSize room;
    if (mdi) {
        m_area = std::make_unique<QMdiArea>();
        m_area->resize(1600, 1200);
        m_area->show();
        room = m_area->viewport()->size();
    } else {
        room = QGuiApplication::primaryScreen()->geometry().size();
    }
    m_server = std::make_unique<Server>(m_area.get());
    m_server->run();
    const QWidget *frame = m_server->host.frame();
    const QSize size = frame->frameGeometry().size();
    QCOMPARE(frame->pos(), QPoint(std::max(0, (room.width() - size.width()) / 4),
                                  std::max(0, (room.height() - size.height()) / 5)));
    QVERIFY(frame->pos() != QPoint(0, 0) || room.width() <= size.width());
}

QTEST_MAIN(TestServerWindow)
#include "tst_serverwindow.moc"
