// The model catalogue: type codes, the setting list, dispatch, found names and
// the digital layouts, at their edges.

#include "device/catalogue.h"

#include <QtTest>

using namespace telviox::catalogue;

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void settingListAndNamesRoundTrip();
    void dispatch_data();
    void dispatch();
    void foundNames_data();
    void foundNames();
    void digitalStatusDecoding_data();
    void digitalStatusDecoding();
    void digitalRoundTripForEveryModel();
};

namespace {
qint32 code(const char *name)
{
    return typeCodeOfName(QLatin1String(name));
}
} // namespace

// What a conversation stores must name the same model again when shown, and
// every entry, under its own name or its twin's, must select itself.
void TestCatalogue::settingListAndNamesRoundTrip()
{
    QCOMPARE(typeCodeOfListIndex(SettingListSize), 0);
    QVERIFY(listText(-1).isEmpty() && listText(82).isEmpty());
    for (int i = 0; i < SettingListSize; ++i) {
        const QString name = normaliseName(listText(i));
        QCOMPARE(modelNameOfTypeCode(typeCodeOfListIndex(i)), name);
        QCOMPARE(listIndexOfFoundName(name).value_or(-1), i);
        const QString twin = name.startsWith(QLatin1String("20"))   ? QLatin1Char('3') + name.mid(1)
                             : name.startsWith(QLatin1String("90")) ? QLatin1Char('6') + name.mid(1)
                                                                    : QString();
        if (!twin.isEmpty())
            QCOMPARE(listIndexOfFoundName(twin).value_or(-1), i);
    }
    QCOMPARE(modelNameOfTypeCode(qint32(0xFFFF9240)), QStringLiteral("9240"));
    // A cleared conversation's code reads as the plain hexadecimal, not padded.
    QCOMPARE(modelNameOfTypeCode(0), QStringLiteral("0"));
    QCOMPARE(modelNameOfTypeCode(0x26), QStringLiteral("26"));
}

void TestCatalogue::dispatch_data()
{
    QTest::addColumn<qint32>("typeCode");
    QTest::addColumn<int>("expected");
    auto row = [](const char *name, qint32 typeCode, Routine routine) {
        QTest::newRow(name) << typeCode << int(routine);
    };
    // Codes only a conversation file brings are served like their twins.
    row("3091", 0x3091, Routine::PrepareData2091);
    row("6040", 0x6040, Routine::PrepareDataDIO9K);
    // Served although no list entry names them.
    row("9067", code("9067"), Routine::PrepareDataAI_9K);
    row("92067", 0x92067, Routine::PrepareDataAI_92K);
    // Listed but not served; the 92000 digital row lacks what the 9000 row holds.
    row("92063", 0x92063, Routine::PrepareDataElse);
    row("9044", code("9044"), Routine::PrepareDataDIO9K);
    row("92044", 0x92044, Routine::PrepareDataElse);
    row("cleared", 0, Routine::PrepareDataElse);
    // A 9000 code not widened is not the 9000 model's code.
    row("unwidened 9040", 0x9040, Routine::PrepareDataElse);
}

void TestCatalogue::dispatch()
{
    QFETCH(qint32, typeCode);
    QFETCH(int, expected);
    QCOMPARE(QLatin1String(routineName(routineOfTypeCode(typeCode))),
             QLatin1String(routineName(Routine(expected))));
}

void TestCatalogue::foundNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("expected"); // -1: none
    QTest::newRow("display variant") << "2026D" << 0;
    QTest::newRow("high-speed 9000") << "9091H" << 26;
    QTest::newRow("94xx has no 6000 twin") << "6480" << -1;
    QTest::newRow("main unit") << "9300" << -1;
    QTest::newRow("served, not listed") << "9067" << -1;
}

void TestCatalogue::foundNames()
{
    QFETCH(QString, name);
    QFETCH(int, expected);
    QCOMPARE(listIndexOfFoundName(name).value_or(-1), expected);
}

void TestCatalogue::digitalStatusDecoding_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<uint>("outputs");
    QTest::addColumn<uint>("inputs");
    auto row = [](const char *model, const char *reply, uint outputs, uint inputs) {
        QTest::addRow("%s %s", model, reply)
            << QString::fromLatin1(model) << QByteArray(reply) << outputs << inputs;
    };
    row("2065", "!0F0300", 0x0F, 0x03); // output byte, then input byte
    row("9040", "!01ABCD", 0, 0xABCD);  // slot modules: data after "!AA"
    row("92073", "!775A00", 0, 0x5A);   // inputs in the second byte, no outputs
    row("2026", "!030100", 0x03, 0x01); // alarm model: outputs, then inputs
    // Cut short or garbled reads as zero, never beyond the end.
    row("9088", "!01FF", 0, 0xFF00);
    row("9088", "!01ZZ12", 0, 0x12);
    row("2065", "!+F-1", 0, 0);
}

void TestCatalogue::digitalStatusDecoding()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, reply);
    QFETCH(uint, outputs);
    QFETCH(uint, inputs);
    const DigitalValues v = decodeDigitalStatus(name, reply);
    QCOMPARE(v.outputs, outputs);
    QCOMPARE(v.inputs, inputs);
}

// What the simulator encodes, the library's decoding must read back, for every
// model with digital bits and under its 3000/6000 twin names.
void TestCatalogue::digitalRoundTripForEveryModel()
{
    int checked = 0;
    for (const ModelInfo &model : models()) {
        if (model.inputBits + model.outputBits == 0)
            continue;
        ++checked;
        const QString name = QLatin1String(model.name);
        QStringList names{name};
        if (name.startsWith(QLatin1String("20")) || name.startsWith(QLatin1String("90")))
            names << QLatin1Char(name[0] == QLatin1Char('2') ? '3' : '6') + name.mid(1);
        const quint32 in = (1u << model.inputBits) - 1u, out = (1u << model.outputBits) - 1u;
        for (const QString &n : names) {
            const bool slot = familyOf(n) == Family::F9000 || familyOf(n) == Family::F6000;
            for (const DigitalValues &values :
                 {DigitalValues{out, in}, DigitalValues{out & 0xA5C3u, in & 0x5A3Cu},
                  DigitalValues{out & 0x8001u, 0}, DigitalValues{0, in & 0x8001u}}) {
                const QByteArray data = encodeDigitalData(n, values);
                QVERIFY2(QByteArray::fromHex(data).toHex().toUpper() == data, data.constData());
                const QByteArray reply = slot ? "!1F" + data : "!" + data + "00";
                const DigitalValues back = decodeDigitalStatus(n, reply);
                QVERIFY2(back.outputs == values.outputs && back.inputs == values.inputs,
                         qPrintable(n + QLatin1Char(' ') + QString::fromLatin1(reply)));
            }
        }
    }
    QVERIFY(checked > 40);
}

QTEST_APPLESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
