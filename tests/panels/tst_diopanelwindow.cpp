// The digital I/O panel windows driven by object name, offscreen, on the
// simulated line: the icons from the program's folder, clicking outputs, and
// what each way of closing hands back.

#include "conversations/sharedstate.h"
#include "device/seriallink.h"
#include "panels/windows/diopanelwindow.h"
#include "sim/simline.h"
#include "sim/simportdevice.h"
#include "support/scriptedprompt.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <memory>

using namespace telviox;

namespace {

const QByteArray Line = R"({"modules": [
    {"name": "2065", "address": "05", "digitalOutputs": "0F", "digitalInputs": "3"},
    {"name": "9300", "address": "01", "slots": [
        {"slot": 3, "name": "9092", "digitalOutputs": "81", "digitalInputs": "3C"}]}]})";

QImage imageOf(const QIcon &icon)
{
    return icon.pixmap(24, 24).toImage();
}

struct Rig
{
    Rig() : line(sim::SimLine::load(Line, nullptr))
    {
        link = std::make_unique<SerialLink>(clock, sim::simDeviceFactory(*line, clock),
                                            scratch.path());
        state.ComPort = 1;
        state.CurConv = 4;
        state.DialogState = 1;
        state.FoundIndex = 0;
    }
    std::unique_ptr<DioPanelWindow> open(const QString &model, int address, int slot,
                                         catalogue::DioPanel kind)
    {
        FoundRecord &r = state.Found.Records[0];
        r.ModelName = model;
        r.Address = qint16(address);
        r.Slot = quint8(slot);
        r.BaudRate = 9600;
        state.ModelName = model.leftJustified(10);
        auto window = std::make_unique<DioPanelWindow>(state, *link, prompt, folder(), kind);
        window->show();
        return window;
    }
    static QString folder() { return qEnvironmentVariable("TELVIOXD_BIN"); }

    VirtualClock clock;
    std::unique_ptr<sim::SimLine> line;
    QTemporaryDir scratch;
    std::unique_ptr<SerialLink> link;
    SharedState state;
    test::ScriptedPrompt prompt;
};

template <typename T> T *child(QWidget &w, const QString &name)
{
    T *c = w.findChild<T *>(name);
    if (!c)
        qFatal("no %s", qPrintable(name));
    return c;
}

} // namespace

class TestDioPanelWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void composeAndAssign();
    void closeBoxAndSlotPanel();
};

void TestDioPanelWindow::initTestCase()
{
    QVERIFY2(QFile::exists(Rig::folder() + "/on2.ico"), "the build draws the icons first");
}

void TestDioPanelWindow::composeAndAssign()
{
    Rig rig;
    auto window = rig.open("2065", 5, 0, catalogue::DioPanel::Standalone);
    QCOMPARE(window->objectName(), QString("frmDIO"));
    QCOMPARE(child<QLabel>(*window, "outLabel")->text(), QString("F"));
    QCOMPARE(child<QLabel>(*window, "inLabel")->text(), QString("3"));
    QVERIFY(!child<QPushButton>(*window, "aiCmd")->isEnabled());

    const QDir dir(Rig::folder());
    const QImage on = imageOf(QIcon(dir.filePath("on2.ico")));
    const QImage off = imageOf(QIcon(dir.filePath("off2.ico")));
    const QImage absent = imageOf(QIcon(dir.filePath("no2.ico")));
    QVERIFY(on != off && off != absent);
    QCOMPARE(imageOf(child<QToolButton>(*window, "outImage(3)")->icon()), on);
    QCOMPARE(imageOf(child<QToolButton>(*window, "outImage(4)")->icon()), off);
    QCOMPARE(imageOf(child<QToolButton>(*window, "outImage(8)")->icon()), absent);
    QCOMPARE(child<QLabel>(*window, "inImage(1)")->pixmap().toImage(), on);
    QCOMPARE(child<QLabel>(*window, "inImage(4)")->pixmap().toImage(), absent);

    child<QToolButton>(*window, "outImage(5)")->click();
    child<QToolButton>(*window, "outImage(0)")->click();
    child<QToolButton>(*window, "outImage(12)")->click(); // not present
    QCOMPARE(child<QLabel>(*window, "outLabel")->text(), QString("2E"));
    QCOMPARE(imageOf(child<QToolButton>(*window, "outImage(5)")->icon()), on);

    auto *combo = child<QComboBox>(*window, "channelCombo");
    QCOMPARE(combo->count(), 9);
    combo->setCurrentIndex(3);
    child<QPushButton>(*window, "assignCmd")->click();
    QVERIFY(!window->isVisible());
    QCOMPARE(window->result(), int(QDialog::Accepted));
    QCOMPARE(rig.state.DioType, qint16(2));
    QCOMPARE(rig.state.DioData, qint16(0x2E));
    QCOMPARE(rig.state.Link[4].Linked, qint16(2));
    QCOMPARE(rig.state.OutChannels, qint16(3));
    QCOMPARE(rig.state.DialogState, qint16(1));
    // The panel changed nothing on the module.
    QCOMPARE(rig.line->digitalOutputs(5), std::optional<quint32>(0x0F));
}

void TestDioPanelWindow::closeBoxAndSlotPanel()
{
    Rig rig;
    rig.state.PanelFromFound = 1;
    auto window = rig.open("9092", 1, 3, catalogue::DioPanel::Slot);
    QCOMPARE(window->objectName(), QString("frmDIO9K"));
    QCOMPARE(child<QLabel>(*window, "outLabel")->text(), QString("81"));
    QCOMPARE(child<QLabel>(*window, "inLabel")->text(), QString("3C"));

    child<QComboBox>(*window, "channelCombo")->setCurrentIndex(2);
    window->close();
    QCOMPARE(rig.state.DialogState, qint16(2));
    QCOMPARE(rig.state.PanelFromFound, qint16(0));
    QCOMPARE(rig.state.OutChannels, qint16(2));
    QCOMPARE(rig.state.Link[4].Linked, qint16(0));
}

QTEST_MAIN(TestDioPanelWindow)
#include "tst_diopanelwindow.moc"
