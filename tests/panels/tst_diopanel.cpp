// The digital I/O panels' logic against the in-process simulated line on
// virtual time: what each panel shows of a module, the pattern composed by
// clicking, and what the buttons and the close hand back.

#include "conversations/sharedstate.h"
#include "device/catalogue.h"
#include "device/seriallink.h"
#include "panels/diopanel.h"
#include "sim/simline.h"
#include "sim/simportdevice.h"
#include "support/scriptedprompt.h"

#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace telviox;
using Kind = telviox::catalogue::DioPanel;
using Panel = telviox::panels::DioPanel;
using telviox::panels::DioBit;
using telviox::panels::DioBits;

Q_DECLARE_METATYPE(telviox::catalogue::DioPanel)

namespace {

// Bits 0 to 15 as '1' on, '0' off, '-' not present.
QString bitsText(const DioBits &bits)
{
    QString text;
    for (DioBit b : bits)
        text += b == DioBit::On ? '1' : b == DioBit::Off ? '0' : '-';
    return text;
}

struct Rig
{
    explicit Rig(const QByteArray &json) : line(sim::SimLine::load(json, nullptr))
    {
        if (!line)
            qFatal("bad line file");
        link =
            std::make_unique<SerialLink>(clock, sim::simDeviceFactory(*line, clock), folder.path());
        state.ComPort = 1;
        state.CurConv = 5;
    }
    // The module the panel opens for, as the search found it.
    void found(const QString &name, int address, int slot = 0, qint32 baud = 9600)
    {
        state.FoundIndex = 2;
        FoundRecord &r = state.Found.Records[2];
        r.ModelName = name.leftJustified(10);
        r.Address = qint16(address);
        r.Slot = quint8(slot);
        r.BaudRate = baud;
    }
    Panel panel(const QString &model, Kind kind)
    {
        state.ModelName = model.leftJustified(10);
        return Panel(state, *link, prompt, kind);
    }
    // The panel for the found module, loaded.
    Panel loaded(const QString &model, int address, Kind kind = Kind::Standalone, int slot = 0,
                 qint32 baud = 9600)
    {
        found(model, address, slot, baud);
        Panel loaded = panel(model, kind);
        loaded.Form_Load();
        return loaded;
    }

    VirtualClock clock;
    std::unique_ptr<sim::SimLine> line;
    QTemporaryDir folder;
    std::unique_ptr<SerialLink> link;
    SharedState state;
    test::ScriptedPrompt prompt;
};

const QByteArray Line = R"({"modules": [
    {"name": "2065", "address": "05", "digitalOutputs": "0F", "digitalInputs": "3"},
    {"name": "2061", "address": "06", "digitalOutputs": "5", "digitalInputs": "A5"},
    {"name": "2039", "address": "07", "digitalOutputs": "41"},
    {"name": "2041", "address": "08", "digitalOutputs": "8001"},
    {"name": "2088", "address": "09", "baud": 19200, "digitalInputs": "BEEF"},
    {"name": "92061", "address": "1A", "checksum": false, "digitalOutputs": "9", "digitalInputs": "6"},
    {"name": "2026", "address": "0A", "checksum": true},
    {"name": "9300", "address": "01", "slots": [
        {"slot": 3, "name": "9092", "digitalOutputs": "81", "digitalInputs": "3C"}]},
    {"name": "6000", "address": "02", "slots": [
        {"slot": 0, "name": "6088", "digitalInputs": "BEEF"}]}]})";

} // namespace

class TestDioPanel : public QObject
{
    Q_OBJECT

private slots:
    void decodeRows_data();
    void decodeRows();
    void readFailures_data();
    void readFailures();
    void activateReadsAgainFromFound();
    void clickingOutputs();
    void serverPortStaysOpen();
    void buttons_data();
    void buttons();
    void close_data();
    void close();
    void panelsAgreeWithModules();
};

void TestDioPanel::decodeRows_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("slot");
    QTest::addColumn<qint32>("baud");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("outputs");
    QTest::addColumn<QString>("inputs");
    QTest::addColumn<QString>("outLabel");
    QTest::addColumn<QString>("inLabel");
    QTest::addColumn<QStringList>("channels");
    QTest::addColumn<bool>("analogInput");

    const auto bits = [](int n) {
        QStringList list{"HEX"};
        for (int i = 0; i < n; ++i)
            list << QString::number(i);
        return list;
    };
    const Kind s = Kind::Standalone, k = Kind::Slot;
    // clang-format off
    QTest::newRow("2065 outputs 0-3, inputs 0-1")
        << s << "2065" << 5 << 0 << 9600 << "$056" << "11110000--------"
        << "1100------------" << "F" << "3" << bits(8) << false;
    QTest::newRow("2061 on the stand-alone panel is decoded")
        << s << "2061" << 6 << 0 << 9600 << "$066" << "101-------------"
        << "10100101--------" << "5" << "A5" << bits(3) << false;
    QTest::newRow("2039 has seven relays")
        << s << "2039" << 7 << 0 << 9600 << "$076" << "1000001---------"
        << "----------------" << "41" << "0" << bits(7) << false;
    QTest::newRow("2041 bit 15 is an output")
        << s << "2041" << 8 << 0 << 9600 << "$086" << "1000000000000001"
        << "----------------" << "8001" << "0" << bits(16) << false;
    QTest::newRow("2088 sixteen inputs at 19200")
        << s << "2088" << 9 << 0 << 19200 << "$096" << "----------------"
        << "1111011101111101" << "0" << "BEEF" << bits(16) << false;
    QTest::newRow("2026 offers the analog input")
        << s << "2026" << 0x0A << 0 << 9600 << "$0A6" << "00--------------"
        << "0---------------" << "00" << "Error !!!" << bits(1) << true;
    QTest::newRow("9092 in slot 3 of a unit")
        << k << "9092" << 1 << 3 << 9600 << "$01S36" << "10000001--------"
        << "00111100--------" << "81" << "3C" << bits(8) << false;
    QTest::newRow("6088 in slot 0 of a 6000 unit")
        << k << "6088" << 2 << 0 << 9600 << "$02S06" << "----------------"
        << "1111011101111101" << "0" << "BEEF" << bits(16) << false;
    QTest::newRow("92061 four and four, no slot part")
        << k << "92061" << 0x1A << 0 << 9600 << "$1A6" << "1001------------"
        << "0110------------" << "9" << "6" << bits(4) << false;
    // clang-format on
}

void TestDioPanel::decodeRows()
{
    QFETCH(Kind, kind);
    QFETCH(QString, model);
    QFETCH(int, address);
    QFETCH(int, slot);
    QFETCH(qint32, baud);
    QFETCH(QString, command);
    QFETCH(QString, outputs);
    QFETCH(QString, inputs);
    QFETCH(QString, outLabel);
    QFETCH(QString, inLabel);
    QFETCH(QStringList, channels);
    QFETCH(bool, analogInput);

    Rig rig(Line);
    Panel panel = rig.loaded(model, address, kind, slot, baud);
    QCOMPARE(panel.caption(), "Setting Configuration for " + model.leftJustified(10));
    QCOMPARE(QString(panel.statusCommand()), command);
    QCOMPARE(bitsText(panel.outState()), outputs);
    QCOMPARE(bitsText(panel.inState()), inputs);
    QCOMPARE(panel.outLabel(), outLabel);
    QCOMPARE(panel.inLabel(), inLabel);
    QCOMPARE(panel.channelEntries(), channels);
    QCOMPARE(panel.analogInputAvailable(), analogInput);
    QCOMPARE(panel.readBackData(), quint16(outLabel.toUInt(nullptr, 16)));
    QCOMPARE(panel.assignData(), panel.readBackData());
    QVERIFY(!rig.link->isOpen(1));
}

void TestDioPanel::readFailures_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<qint32>("baud");
    // The 2026 at 0A wants checksums; the status command goes without.
    QTest::newRow("module wants a checksum") << 0x0A << 9600;
    QTest::newRow("nobody at the address") << 0x33 << 9600;
    QTest::newRow("no rate found") << 5 << 0;
}

void TestDioPanel::readFailures()
{
    QFETCH(int, address);
    QFETCH(qint32, baud);
    Rig rig(Line);
    Panel panel = rig.loaded("2065", address, Kind::Standalone, 0, baud);
    QCOMPARE(panel.inLabel(), QString("Error !!!"));
    QCOMPARE(panel.outLabel(), QString("00"));
    QCOMPARE(bitsText(panel.outState()), QString("00000000--------"));
    QCOMPARE(bitsText(panel.inState()), QString("0000------------"));
    QCOMPARE(panel.readBackData(), quint16(0));
    QCOMPARE(rig.prompt.beeps(), 1);
    QVERIFY(!rig.link->isOpen(1));
}

void TestDioPanel::activateReadsAgainFromFound()
{
    for (const qint16 fromFound : {qint16(0), qint16(1)}) {
        Rig rig(Line);
        Panel panel = rig.loaded("2065", 5);
        QVERIFY(rig.line->setDigitalInputs(5, 0xC));
        rig.state.PanelFromFound = fromFound;
        panel.Form_Activate();
        QCOMPARE(panel.inLabel(), QString(fromFound ? "C" : "3"));
    }
}

void TestDioPanel::clickingOutputs()
{
    Rig rig(Line);
    Panel panel = rig.loaded("2041", 8);
    panel.outImage_Click(0);
    QCOMPARE(panel.assignData(), quint16(0x8000));
    QCOMPARE(panel.outLabel(), QString("8000"));
    QCOMPARE(panel.readBackData(), quint16(0x8001));
    panel.outImage_Click(3);
    QCOMPARE(panel.outLabel(), QString("8008"));

    // Absent outputs and indexes off the panel change nothing.
    Rig small(Line);
    Panel three = small.loaded("2061", 6);
    for (int index : {3, 15, 16, -1})
        three.outImage_Click(index);
    QCOMPARE(bitsText(three.outState()), QString("101-------------"));
    QCOMPARE(three.outLabel(), QString("5"));
    QCOMPARE(three.assignData(), quint16(5));
}

void TestDioPanel::serverPortStaysOpen()
{
    // The server polls at 19200 on the same port while a panel reads a module
    // at 9600, successfully or not.
    for (const int address : {5, 0x33}) {
        Rig rig(Line);
        QCOMPARE(rig.link->Open_Com(1, 19200), LinkCode::Ok);
        Panel panel = rig.loaded("2065", address);
        QCOMPARE(panel.inLabel(), QString(address == 5 ? "3" : "Error !!!"));
        QVERIFY(rig.link->isOpen(1));
        QCOMPARE(rig.link->openBaud(1), 19200);
    }
}

void TestDioPanel::buttons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("dioType");
    QTest::addColumn<int>("dioData");
    QTest::addColumn<int>("linked");
    QTest::addColumn<QStringList>("source");

    const QStringList before{"svc", "top", "itm"};
    QTest::newRow("inputs") << "in" << QStringList() << 1 << 0 << 7 << before;
    QTest::newRow("analog input") << "ai" << QStringList() << 3 << 0 << 7 << before;
    QTest::newRow("read back") << "readback" << QStringList() << 2 << 0x8001 << 0 << before;
    QTest::newRow("assigned") << "assign" << QStringList() << 2 << 0x8003 << 2 << before;
    QTest::newRow("source") << "dde" << QStringList{"dde.calc", "Sheet1", "R1C1"} << 2 << 99 << 1
                            << QStringList{"dde.calc", "Sheet1", "R1C1"};
    QTest::newRow("source with an empty box") << "dde" << QStringList{"dde.calc", "", "R1C1"} << 2
                                              << 99 << 0 << QStringList{"dde.calc", "top", "R1C1"};
}

void TestDioPanel::buttons()
{
    QFETCH(QString, button);
    QFETCH(QStringList, texts);
    QFETCH(int, dioType);
    QFETCH(int, dioData);
    QFETCH(int, linked);
    QFETCH(QStringList, source);

    Rig rig(Line);
    rig.state.DioData = 99;
    rig.state.Link[5] = {"svc", "top", "itm", 7};
    Panel panel = rig.loaded("2041", 8);
    panel.outImage_Click(1);
    const int beeps = rig.prompt.beeps();
    if (button == "in")
        panel.inCmd_Click();
    else if (button == "ai")
        panel.aiCmd_Click();
    else if (button == "readback")
        panel.readbackCmd_Click();
    else if (button == "assign")
        panel.assignCmd_Click();
    else
        panel.ddeCmd_Click(texts.value(0), texts.value(1), texts.value(2));
    QCOMPARE(rig.prompt.beeps(), beeps + 1);
    QCOMPARE(int(rig.state.DioType), dioType);
    QCOMPARE(int(quint16(rig.state.DioData)), dioData);
    const LinkRecord &link = rig.state.Link[5];
    QCOMPARE(int(link.Linked), linked);
    QCOMPARE((QStringList{link.Service, link.Topic, link.Item}), source);
    // Only the conversation being edited changes.
    QCOMPARE(rig.state.Link[4].Linked, qint16(0));
    QCOMPARE(rig.state.Link[IntervalEntry].Service, QString());
}

void TestDioPanel::close_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("dialogState");
    QTest::newRow("close box, whole port") << true << 0 << 2;
    QTest::newRow("button, bit 6") << false << 7 << 1;
}

void TestDioPanel::close()
{
    QFETCH(bool, closeBox);
    QFETCH(int, entry);
    QFETCH(int, dialogState);
    Rig rig(Line);
    rig.state.DialogState = 1;
    rig.state.PanelFromFound = 1;
    Panel panel = rig.loaded("2039", 7);
    panel.Form_QueryUnload(closeBox, entry);
    QCOMPARE(int(rig.state.DialogState), dialogState);
    QCOMPARE(rig.state.PanelFromFound, qint16(0));
    QCOMPARE(int(rig.state.OutChannels), entry);
}

void TestDioPanel::panelsAgreeWithModules()
{
    // A panel offering a channel the module lacks has every write of it
    // refused; one hiding a channel hides the module's state.
    for (const catalogue::ModelInfo &info : catalogue::models()) {
        if (info.kind != catalogue::Kind::Digital && info.outputBits == 0)
            continue;
        const QString name = QLatin1String(info.name);
        const catalogue::Family family = catalogue::familyOf(name);
        const Kind kind = family == catalogue::Family::Q2000 || family == catalogue::Family::F3000
                              ? Kind::Standalone
                              : Kind::Slot;
        const catalogue::PanelChannels panel = catalogue::dioPanelChannels(name, kind);
        QVERIFY2(panel.inputs == info.inputBits && panel.outputs == info.outputBits,
                 qPrintable(QStringLiteral("%1: panel %2/%3, module %4/%5")
                                .arg(name)
                                .arg(panel.inputs)
                                .arg(panel.outputs)
                                .arg(info.inputBits)
                                .arg(info.outputBits)));
    }
}

QTEST_GUILESS_MAIN(TestDioPanel)
#include "tst_diopanel.moc"
