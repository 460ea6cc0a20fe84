#include "device/catalogue.h"

#include <QSet>
#include <QtTest>

using namespace telviox::catalogue;

Q_DECLARE_METATYPE(telviox::catalogue::Routine)

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void typeCodes_data();
    void typeCodes();
    void typeCodeNamesRoundTrip();
    void settingList();
    void dispatch_data();
    void dispatch();
    void dispatchOfEverySettingEntry();
    void foundNames_data();
    void foundNames();
    void twinsSelectTheirTwinsEntry();
    void familiesAndMainUnits();
    void modelData();
    void modelKindsAgreeWithDispatch();
    void searchClasses();
    void digitalStatusDecoding();
    void digitalRoundTripForEveryModel();
    void panelChannels();
};

namespace {
qint32 code(const char *name)
{
    return typeCodeOfName(QLatin1String(name));
}
} // namespace

void TestCatalogue::typeCodes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint32>("expected");

    QTest::newRow("list text with suffix") << "2026/D" << qint32(0x2026);
    QTest::newRow("five digits") << "92029" << qint32(0x92029);
    QTest::newRow("five digits, letters after") << "92091X" << qint32(0x92091);
    // Four digits are a 16-bit value: 9xxx and 6xxx-above-7FFF widen negative.
    QTest::newRow("sign widened") << "9040" << qint32(0xFFFF9040u);
    QTest::newRow("sign widened, variant") << "9091H" << qint32(qint16(0x9091));
    QTest::newRow("positive four digits") << "6040" << qint32(0x6040);
    QTest::newRow("not hexadecimal") << "WDT0" << qint32(0);
    QTest::newRow("empty") << "" << qint32(0);
}

void TestCatalogue::typeCodes()
{
    QFETCH(QString, name);
    QFETCH(qint32, expected);
    QCOMPARE(typeCodeOfName(name), expected);
}

// What a conversation stores must name the same model again when shown.
void TestCatalogue::typeCodeNamesRoundTrip()
{
    for (int i = 0; i < SettingListSize; ++i) {
        const QString name = normaliseName(listText(i));
        QCOMPARE(modelNameOfTypeCode(typeCodeOfListIndex(i)), name);
    }
    for (const ModelInfo &info : models()) {
        const QString name = QLatin1String(info.name);
        if (typeCodeOfName(name) != 0)
            QCOMPARE(modelNameOfTypeCode(typeCodeOfName(name)), name);
    }
    QCOMPARE(modelNameOfTypeCode(qint32(0x0920)), QStringLiteral("0920"));
    QCOMPARE(modelNameOfTypeCode(qint32(0xFFFF9240)), QStringLiteral("9240"));
}

void TestCatalogue::settingList()
{
    const QStringList &list = telviox::catalogue::settingList();
    QCOMPARE(list.size(), SettingListSize);
    QCOMPARE(QSet<QString>(list.begin(), list.end()).size(), SettingListSize);
    QCOMPARE(listText(0), QStringLiteral("2026/D"));
    QCOMPARE(listText(23), QStringLiteral("2032/D"));
    QCOMPARE(listText(26), QStringLiteral("9091/H"));
    QCOMPARE(typeCodeOfListIndex(0), qint32(0x2026));
    QCOMPARE(typeCodeOfListIndex(26), code("9091"));
    QCOMPARE(typeCodeOfListIndex(62), code("9465"));
    QCOMPARE(typeCodeOfListIndex(63), qint32(0x92027));
    QCOMPARE(typeCodeOfListIndex(79), qint32(0x92039));
    QCOMPARE(typeCodeOfListIndex(80), qint32(0x92060));
    QCOMPARE(typeCodeOfListIndex(81), qint32(0x92029));
    QVERIFY(listText(-1).isEmpty());
    QVERIFY(listText(82).isEmpty());
    QCOMPARE(typeCodeOfListIndex(-1), 0);
    QCOMPARE(typeCodeOfListIndex(82), 0);
}

void TestCatalogue::dispatch_data()
{
    QTest::addColumn<qint32>("typeCode");
    QTest::addColumn<Routine>("expected");

    // Codes only a conversation file brings are served like their twins.
    QTest::newRow("3091") << qint32(0x3091) << Routine::PrepareData2091;
    QTest::newRow("3067") << qint32(0x3067) << Routine::PrepareData2026;
    QTest::newRow("6040") << qint32(0x6040) << Routine::PrepareDataDIO9K;
    QTest::newRow("6091") << qint32(0x6091) << Routine::PrepareDataAI_9K;
    QTest::newRow("6010") << qint32(0x6010) << Routine::PrepareDataAO_9K;
    QTest::newRow("3032") << qint32(0x3032) << Routine::PrepareData2032;
    // Served although no list entry names them.
    QTest::newRow("9067") << code("9067") << Routine::PrepareDataAI_9K;
    QTest::newRow("6067") << qint32(0x6067) << Routine::PrepareDataAI_9K;
    QTest::newRow("92067") << qint32(0x92067) << Routine::PrepareDataAI_92K;
    // The 92000 digital row lacks what the 9000 and 6000 rows hold.
    QTest::newRow("9044") << code("9044") << Routine::PrepareDataDIO9K;
    QTest::newRow("6015") << qint32(0x6015) << Routine::PrepareDataDIO9K;
    QTest::newRow("92044") << qint32(0x92044) << Routine::PrepareDataElse;
    QTest::newRow("92015") << qint32(0x92015) << Routine::PrepareDataElse;
    QTest::newRow("cleared") << qint32(0) << Routine::PrepareDataElse;
    QTest::newRow("unknown") << qint32(0x1234) << Routine::PrepareDataElse;
    // A 9000 code not widened is not the 9000 model's code.
    QTest::newRow("unwidened 9040") << qint32(0x9040) << Routine::PrepareDataElse;
    QTest::newRow("3096 not served") << qint32(0x3096) << Routine::PrepareDataElse;
}

void TestCatalogue::dispatch()
{
    QFETCH(qint32, typeCode);
    QFETCH(Routine, expected);
    QCOMPARE(QLatin1String(routineName(routineOfTypeCode(typeCode))),
             QLatin1String(routineName(expected)));
}

// The routine column of the setting list, entry by entry.
void TestCatalogue::dispatchOfEverySettingEntry()
{
    struct Range
    {
        int first;
        int last;
        Routine routine;
    };
    const Range ranges[] = {
        {0, 3, Routine::PrepareData2026},     {4, 4, Routine::PrepareDataElse},
        {5, 6, Routine::PrepareData2091},     {7, 7, Routine::PrepareData2011},
        {8, 9, Routine::PrepareData2028},     {10, 10, Routine::PrepareData2091},
        {11, 22, Routine::PrepareDataElse},   {23, 23, Routine::PrepareData2032},
        {24, 24, Routine::PrepareDataAI_9K},  {25, 25, Routine::PrepareDataElse},
        {26, 27, Routine::PrepareDataAI_9K},  {28, 30, Routine::PrepareDataAO_9K},
        {31, 34, Routine::PrepareDataElse},   {35, 43, Routine::PrepareDataDIO9K},
        {44, 46, Routine::PrepareDataElse},   {47, 47, Routine::PrepareDataDIO9K},
        {48, 62, Routine::PrepareDataElse},   {63, 63, Routine::PrepareDataAI_92K},
        {64, 64, Routine::PrepareDataElse},   {65, 66, Routine::PrepareDataAI_92K},
        {67, 69, Routine::PrepareDataAO_92K}, {70, 76, Routine::PrepareDataDIO92K},
        {77, 79, Routine::PrepareDataElse},   {80, 80, Routine::PrepareDataDIO92K},
        {81, 81, Routine::PrepareDataElse},
    };
    int covered = 0;
    for (const Range &range : ranges) {
        for (int i = range.first; i <= range.last; ++i, ++covered) {
            const Routine routine = routineOfTypeCode(typeCodeOfListIndex(i));
            QVERIFY2(routine == range.routine, qPrintable(listText(i) + QLatin1String(" -> ") +
                                                          QLatin1String(routineName(routine))));
        }
    }
    QCOMPARE(covered, SettingListSize);
}

void TestCatalogue::foundNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("expected"); // -1: none

    QTest::newRow("display variant") << "2026D" << 0;
    QTest::newRow("plain") << "2032" << 23;
    QTest::newRow("3000 twin") << "3091" << 5;
    QTest::newRow("6000 twin") << "6040" << 35;
    QTest::newRow("high-speed 9000") << "9091H" << 26;
    QTest::newRow("high-speed 6000") << "6091H" << 26;
    QTest::newRow("last") << "92029" << 81;
    QTest::newRow("92000 with letters") << "92091D" << 65;
    QTest::newRow("94xx has no 6000 twin") << "6480" << -1;
    QTest::newRow("92044 is not listed") << "92044" << -1;
    QTest::newRow("main unit") << "9300" << -1;
    QTest::newRow("9067 is not listed") << "9067" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("short") << "20" << -1;
}

void TestCatalogue::foundNames()
{
    QFETCH(QString, name);
    QFETCH(int, expected);
    const std::optional<int> index = listIndexOfFoundName(name);
    QCOMPARE(index.value_or(-1), expected);
}

void TestCatalogue::twinsSelectTheirTwinsEntry()
{
    for (int i = 0; i < SettingListSize; ++i) {
        const QString name = normaliseName(listText(i));
        QCOMPARE(listIndexOfFoundName(name).value_or(-1), i);
        QString twin;
        if (name.startsWith(QLatin1String("20")))
            twin = QLatin1Char('3') + name.mid(1);
        else if (name.startsWith(QLatin1String("90")))
            twin = QLatin1Char('6') + name.mid(1);
        if (!twin.isEmpty())
            QCOMPARE(listIndexOfFoundName(twin).value_or(-1), i);
    }
}

void TestCatalogue::familiesAndMainUnits()
{
    QCOMPARE(handledName(QStringLiteral("9375")), QStringLiteral("9300"));
    QCOMPARE(handledName(QStringLiteral("99AB")), QStringLiteral("9900"));
    QCOMPARE(handledName(QStringLiteral("92091D")), QStringLiteral("92091"));
    QCOMPARE(handledName(QStringLiteral("2026D")), QStringLiteral("2026"));
    for (const char *name : {"9000", "6000", "9300", "9375", "9900", "99AB"})
        QVERIFY2(isMainUnit(QLatin1String(name)), name);
    for (const char *name : {"9040", "6040", "92000", "2026", "WDT0", ""})
        QVERIFY2(!isMainUnit(QLatin1String(name)), name);
    QVERIFY(is92000(QStringLiteral("92027")));
    QVERIFY(!is92000(QStringLiteral("9027")));
    QCOMPARE(familyOf(QStringLiteral("2026D")), Family::Q2000);
    QCOMPARE(familyOf(QStringLiteral("3091")), Family::F3000);
    QCOMPARE(familyOf(QStringLiteral("9091H")), Family::F9000);
    QCOMPARE(familyOf(QStringLiteral("6040")), Family::F6000);
    QCOMPARE(familyOf(QStringLiteral("92060")), Family::F92000);
    QCOMPARE(familyOf(QStringLiteral("9375")), Family::MainUnit);
    QCOMPARE(familyOf(QStringLiteral("6000")), Family::MainUnit);
    QCOMPARE(familyOf(QStringLiteral("WDT0")), Family::Other);
}

void TestCatalogue::modelData()
{
    // Every name of the setting list, and the extra served codes, are known.
    for (int i = 0; i < SettingListSize; ++i)
        QVERIFY2(modelInfo(listText(i)), qPrintable(listText(i)));
    for (const char *name : {"9067", "6067", "92067"})
        QVERIFY2(modelInfo(QLatin1String(name)), name);

    // Aliases are the same record as their twin.
    QCOMPARE(modelInfo(QStringLiteral("3091")), modelInfo(QStringLiteral("2091")));
    QCOMPARE(modelInfo(QStringLiteral("6040")), modelInfo(QStringLiteral("9040")));
    QCOMPARE(modelInfo(QStringLiteral("9091H")), modelInfo(QStringLiteral("9091")));
    QCOMPARE(modelInfo(QStringLiteral("2026D")), modelInfo(QStringLiteral("2026")));
    QCOMPARE(modelInfoOfTypeCode(code("9040")), modelInfo(QStringLiteral("9040")));
    QCOMPARE(modelInfoOfTypeCode(0x3032), modelInfo(QStringLiteral("2032")));
    QCOMPARE(modelInfoOfTypeCode(0), nullptr);
    QCOMPARE(modelInfo(QStringLiteral("1234")), nullptr);
    QCOMPARE(modelInfo(QStringLiteral("3000")), nullptr);

    const ModelInfo *info = modelInfo(QStringLiteral("2091"));
    QCOMPARE(info->channels, 8);
    QCOMPARE(modelInfo(QStringLiteral("2096"))->channels, 3);
    QCOMPARE(modelInfo(QStringLiteral("2063"))->channels, 2);
    QCOMPARE(modelInfo(QStringLiteral("9086"))->channels, 7);
    QCOMPARE(modelInfo(QStringLiteral("2028"))->channels, 4);
    info = modelInfo(QStringLiteral("3032"));
    QCOMPARE(info->kind, Kind::Counter);
    QCOMPARE(info->channels, 2);
    for (const char *name : {"2026", "2080", "2067", "3026", "3080", "3067"})
        QVERIFY2(modelInfo(QLatin1String(name))->alarms, name);
    QVERIFY(!modelInfo(QStringLiteral("2027"))->alarms);
    info = modelInfo(QStringLiteral("2065"));
    QCOMPARE(info->inputBits, 4);
    QCOMPARE(info->outputBits, 8);

    QCOMPARE(modelInfo(QStringLiteral("9375"))->kind, Kind::MainUnit);
    QCOMPARE(modelInfo(QStringLiteral("9375"))->slotCount, 4);
    QCOMPARE(modelInfo(QStringLiteral("99AB"))->slotCount, 8);
    QCOMPARE(modelInfo(QStringLiteral("6000"))->slotCount, 4);
    QCOMPARE(modelInfo(QStringLiteral("WDT0"))->kind, Kind::WatchDog);

    QSet<QString> names;
    for (const ModelInfo &model : models()) {
        QVERIFY2(!names.contains(QLatin1String(model.name)), model.name);
        names.insert(QLatin1String(model.name));
        QCOMPARE(modelInfo(QLatin1String(model.name)), &model);
    }
}

// The model data and the dispatch are separate tables; they must agree on
// what each served model is.
void TestCatalogue::modelKindsAgreeWithDispatch()
{
    for (const ModelInfo &model : models()) {
        const Routine routine = routineOfTypeCode(typeCodeOfName(QLatin1String(model.name)));
        switch (routine) {
        case Routine::PrepareData2026:
        case Routine::PrepareData2091:
        case Routine::PrepareDataAI_9K:
        case Routine::PrepareDataAI_92K:
            QVERIFY2(model.kind == Kind::AnalogInput && model.channels > 0, model.name);
            break;
        case Routine::PrepareData2011:
        case Routine::PrepareData2028:
        case Routine::PrepareDataAO_9K:
        case Routine::PrepareDataAO_92K:
            QVERIFY2(model.kind == Kind::AnalogOutput && model.channels > 0, model.name);
            break;
        case Routine::PrepareData2032:
            QVERIFY2(model.kind == Kind::Counter, model.name);
            break;
        case Routine::PrepareDataDIO9K:
        case Routine::PrepareDataDIO92K:
            QVERIFY2(model.kind == Kind::Digital && model.inputBits + model.outputBits > 0,
                     model.name);
            break;
        case Routine::PrepareDataElse:
            break;
        }
        if (model.kind == Kind::Digital)
            QVERIFY2(model.inputBits <= 16 && model.outputBits <= 16, model.name);
    }
}

void TestCatalogue::searchClasses()
{
    auto check = [](const char *name, const char *className, const char *description) {
        const std::optional<SearchClass> found = searchClass(QLatin1String(name));
        QVERIFY2(found, name);
        QCOMPARE(QLatin1String(found->className), QLatin1String(className));
        QCOMPARE(QLatin1String(found->description), QLatin1String(description));
    };
    check("2058", "digital input", "14*DI");
    check("3073", "digital I/O", "8*DO");
    check("2026D", "thermocouple, mV, V or mA input", "input-range codes 00 to 06 and 0E to 16");
    check("92061", "digital input and relay output", "4*isolated D/I+4*relay(4C),220V");
    check("9375", "main unit", "its slots are listed");
    check("99AB", "main unit", "its slots are listed");
    check("3096", "3-channel RTD input", "range codes 20 to 2A");
    // Only some 3000 twins are in the search's table.
    QVERIFY(!searchClass(QStringLiteral("3058")));
    QVERIFY(!searchClass(QStringLiteral("9040")));
    QVERIFY(!searchClass(QStringLiteral("WDT0")));
}

void TestCatalogue::digitalStatusDecoding()
{
    // Output byte then input byte.
    DigitalValues v = decodeDigitalStatus(QStringLiteral("2065"), "!0F0300");
    QCOMPARE(v.outputs, 0x0Fu);
    QCOMPARE(v.inputs, 0x03u);

    v = decodeDigitalStatus(QStringLiteral("2099"), "!1ABC00");
    QCOMPARE(v.outputs, 0x1ABCu);
    QCOMPARE(v.inputs, 0u);

    // Slot modules: data after "!AA".
    v = decodeDigitalStatus(QStringLiteral("9040"), "!01ABCD");
    QCOMPARE(v.inputs, 0xABCDu);
    QCOMPARE(v.outputs, 0u);
    QCOMPARE(decodeDigitalStatus(QStringLiteral("6040"), "!01ABCD").inputs, 0xABCDu);
    v = decodeDigitalStatus(QStringLiteral("9061"), "!010A05");
    QCOMPARE(v.outputs, 0x0Au);
    QCOMPARE(v.inputs, 0x05u);
    QCOMPARE(decodeDigitalStatus(QStringLiteral("9073"), "!015A").inputs, 0x5Au);
    // 92073 reads its inputs from the second byte although it has no outputs.
    QCOMPARE(decodeDigitalStatus(QStringLiteral("92073"), "!775A00").inputs, 0x5Au);

    // The alarm-capable inputs have no row: outputs first, inputs second.
    v = decodeDigitalStatus(QStringLiteral("2026"), "!030100");
    QCOMPARE(v.outputs, 0x03u);
    QCOMPARE(v.inputs, 0x01u);

    // A reply cut short or garbled reads as zero, never beyond its end.
    v = decodeDigitalStatus(QStringLiteral("9088"), "!01FF");
    QCOMPARE(v.inputs, 0xFF00u);
    v = decodeDigitalStatus(QStringLiteral("9088"), "!01F");
    QCOMPARE(v.inputs, 0u);
    v = decodeDigitalStatus(QStringLiteral("9088"), "!01ZZ12");
    QCOMPARE(v.inputs, 0x12u);
    QCOMPARE(decodeDigitalStatus(QStringLiteral("2065"), "!+F-1").outputs, 0u);
    QCOMPARE(decodeDigitalStatus(QStringLiteral("2065"), "! F 1").inputs, 0u);
    v = decodeDigitalStatus(QStringLiteral("2065"), "");
    QCOMPARE(v.outputs, 0u);
    QCOMPARE(v.inputs, 0u);
}

// What the simulator encodes, the library's decoding must read back, for every
// model with digital bits and under its 3000/6000 twin names.
void TestCatalogue::digitalRoundTripForEveryModel()
{
    auto roundTrip = [](const QString &name, int inputBits, int outputBits) {
        const bool slotModule = familyOf(name) == Family::F9000 || familyOf(name) == Family::F6000;
        const quint32 inMask = (1u << inputBits) - 1u;
        const quint32 outMask = (1u << outputBits) - 1u;
        const DigitalValues patterns[] = {
            {outMask, inMask},
            {outMask & 0xA5C3u, inMask & 0x5A3Cu},
            {outMask & 0x8001u, 0},
            {0, inMask & 0x8001u},
        };
        for (const DigitalValues &values : patterns) {
            const QByteArray data = encodeDigitalData(name, values);
            for (char c : data)
                QVERIFY2((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'), data.constData());
            const QByteArray reply =
                slotModule ? QByteArray("!1F") + data : QByteArray("!") + data + "00";
            const DigitalValues back = decodeDigitalStatus(name, reply);
            QVERIFY2(back.outputs == values.outputs && back.inputs == values.inputs,
                     qPrintable(name + QLatin1String(" ") + QString::fromLatin1(reply)));
        }
    };

    int checked = 0;
    for (const ModelInfo &model : models()) {
        if (model.inputBits + model.outputBits == 0)
            continue;
        const QString name = QLatin1String(model.name);
        roundTrip(name, model.inputBits, model.outputBits);
        if (name.startsWith(QLatin1String("20")))
            roundTrip(QLatin1Char('3') + name.mid(1), model.inputBits, model.outputBits);
        if (name.startsWith(QLatin1String("90")))
            roundTrip(QLatin1Char('6') + name.mid(1), model.inputBits, model.outputBits);
        ++checked;
    }
    QVERIFY(checked > 40);
}

void TestCatalogue::panelChannels()
{
    auto check = [](const char *name, DioPanel panel, int inputs, int outputs, int listed,
                    bool analog) {
        const PanelChannels c = dioPanelChannels(QLatin1String(name), panel);
        QVERIFY2(c.inputs == inputs && c.outputs == outputs && c.bitsListed == listed &&
                     c.analogInput == analog,
                 name);
    };
    // The alarm inputs list one bit although they have two outputs.
    check("3080", DioPanel::Standalone, 1, 2, 1, true);
    // Blank counts follow the outputs, or the inputs of an input-only model.
    check("2058", DioPanel::Standalone, 14, 0, 14, false);
    check("2017D", DioPanel::Standalone, 7, 8, 8, false);
    check("2039", DioPanel::Standalone, 0, 8, 8, false);
    // The slot panel's own rows win over the model data, first row first.
    check("92061", DioPanel::Slot, 8, 3, 3, false);
    check("92044", DioPanel::Slot, 0, 16, 16, false);
    check("6015", DioPanel::Slot, 0, 6, 6, false);
    // No row: the model data.
    check("9017", DioPanel::Slot, 16, 0, 16, false);
    check("2027", DioPanel::Standalone, 0, 0, 0, false);
    check("1234", DioPanel::Slot, 0, 0, 0, false);
}

QTEST_APPLESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
