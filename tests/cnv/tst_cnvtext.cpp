#include "conversations/conversationtext.h"
#include "device/catalogue.h"

#include <QtTest>

using namespace telviox;
using cnvtext::Format;

Q_DECLARE_METATYPE(telviox::ConversationPair)

namespace {

ConvRecord conversation(const char *model, qint16 address, qint32 baud, qint16 channels)
{
    ConvRecord r;
    r.InUse = 1;
    r.TypeCode = catalogue::typeCodeOfName(QLatin1String(model));
    r.Address = address;
    r.BaudRate = baud;
    r.Channels = channels;
    return r;
}

// A list with one conversation (at index 7) and the interval entry.
ConversationPair listOf(const ConvRecord &record, const LinkRecord &link = {})
{
    ConversationPair pair;
    pair.conv[7] = record;
    pair.link[7] = link;
    pair.link[IntervalEntry] = LinkRecord{QStringLiteral("Timer Interval"), {}, {}, 250};
    return pair;
}

QByteArray bytesOf(const ConversationPair &pair)
{
    return encodeCnv(pair.conv) + encodeCompanion(pair.link).value_or("(does not fit)");
}

QStringList texts(const QList<cnvtext::Problem> &problems)
{
    QStringList list;
    for (const cnvtext::Problem &p : problems)
        list << p.text();
    return list;
}

} // namespace

class CnvTextTest : public QObject
{
    Q_OBJECT

private slots:
    void roundTripGivesTheSameBytes_data();
    void roundTripGivesTheSameBytes();
    void readableFields();
    void importRefuses_data();
    void importRefuses();
    void damagedPairs_data();
    void damagedPairs();
};

void CnvTextTest::roundTripGivesTheSameBytes_data()
{
    QTest::addColumn<ConversationPair>("pair");

    QTest::newRow("single analog input, checksum") << listOf([] {
        ConvRecord r = conversation("2026", 0x10, 9600, 1);
        r.Checksum = 1;
        return r;
    }());
    QTest::newRow("eight inputs, channels 0 and 7")
        << listOf(conversation("2091", 0xFF, 115200, qint16(0x81)));
    QTest::newRow("slot input in slot 7") << listOf([] {
        ConvRecord r = conversation("9091", 0, 1200, qint16(0xC0));
        r.Slot = 7;
        return r;
    }());
    QTest::newRow("counter, channel 1 only") << listOf(conversation("2032", 8, 9600, 2));
    QTest::newRow("analog output read back, a value with no short decimal") << listOf([] {
        ConvRecord r = conversation("2011", 3, 9600, 1);
        r.OutValue = 0.1f;
        return r;
    }());
    QTest::newRow("analog output assigned, negative zero") << listOf(
        [] {
            ConvRecord r = conversation("2011", 3, 9600, 1);
            r.OutValue = -0.0f;
            return r;
        }(),
        LinkRecord{{}, {}, {}, 2});
    QTest::newRow("analog output from a source, texts of 72 bytes with a comma and quotes")
        << listOf(conversation("2011", 3, 4800, 1),
                  LinkRecord{QString(30, QLatin1Char('s')),
                             QStringLiteral("a,\"b\" ") + QString(24, u'\xe9'),
                             QString(12, QLatin1Char('i')), 1});
    QTest::newRow("digital output pattern on bit 2") << listOf([] {
        ConvRecord r = conversation("2065", 6, 38400, 3);
        r.IoType = 2;
        r.OutData = qint16(0xA5);
        return r;
    }());
    QTest::newRow("digital input of a code with its upper bits set, whole port") << listOf([] {
        ConvRecord r = conversation("9040", 6, 57600, 0);
        r.IoType = 1;
        r.OutData = qint16(0xFFFF);
        return r;
    }());
    QTest::newRow("cleared conversation keeps its fields") << listOf([] {
        ConvRecord r = conversation("2091", 5, 9600, qint16(0x80));
        r.InUse = 0;
        r.TypeCode = 0;
        return r;
    }());
    QTest::newRow("no conversation at all") << listOf(ConvRecord{});
}

void CnvTextTest::roundTripGivesTheSameBytes()
{
    QFETCH(ConversationPair, pair);
    for (const Format format : {Format::Json, Format::Csv}) {
        const QByteArray text = cnvtext::exportList(pair, format);
        const cnvtext::ImportResult back = cnvtext::importList(text);
        QVERIFY2(back.problems.isEmpty(), qPrintable(texts(back.problems).join('\n')));
        QVERIFY2(bytesOf(back.pair) == bytesOf(pair), text.constData());
    }
}

// What a reader of the text sees: names and numbers, not codes and masks.
void CnvTextTest::readableFields()
{
    ConvRecord r = conversation("9092", 0x1F, 9600, 4);
    r.IoType = 2;
    r.OutData = 0x5A;
    r.Slot = 2;
    const QByteArray json = cnvtext::exportList(
        listOf(r, {QStringLiteral("S"), QStringLiteral("T"), QStringLiteral("I"), 1}),
        Format::Json);
    QVERIFY2(json.contains(R"("conv": 7, "model": "9092", "address": "1F", "baud": 9600, )"
                           R"("checksum": false, "slot": 2, "bit": 3, "io": "write outputs", )"
                           R"("outData": "005A", "outValue": 0, "output": "source", )"
                           R"("source": {"item":"I","service":"S","topic":"T"}})"),
             json.constData());
    QVERIFY(json.contains(R"("interval": 250)"));
    const QByteArray csv =
        cnvtext::exportList(listOf(conversation("2091", 2, 9600, qint16(0xF0))), Format::Csv);
    QVERIFY2(csv.startsWith("interval,250\nconv,"), csv.constData());
    QVERIFY2(csv.contains("\n7,,2091,,02,9600,false,0,0 1 2 3,"), csv.constData());
}

void CnvTextTest::importRefuses_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("problem");

    const auto one = [](const char *fields) {
        return QByteArray(R"({"interval": 1000, "conversations": [{"conv": 3, )") + fields + "}]}";
    };
    const char *good = R"("model": "2091", "address": "10", "baud": 9600, )";
    QTest::newRow("unknown model") << one(R"("model": "2093", "address": "10", "baud": 9600)")
                                   << "conversation 3, model: 2093 is no model the catalogue knows";
    QTest::newRow("model missing")
        << one(R"("address": "10", "baud": 9600)") << "conversation 3, model: missing";
    QTest::newRow("address past FF") << one(R"("model": "2026", "address": "100", "baud": 9600)")
                                     << "conversation 3, address: 256 is not 00 to FF";
    QTest::newRow("address not hexadecimal")
        << one(R"("model": "2026", "address": "G1", "baud": 9600)")
        << "conversation 3, address: \"G1\" is not hexadecimal";
    QTest::newRow("rate not in the list")
        << one(R"("model": "2026", "address": "10", "baud": 9601)")
        << "conversation 3, baud: 9601 is not one of 115200 57600 38400 19200 9600 4800 2400 1200";
    QTest::newRow("input channel the model lacks")
        << one(QByteArray(good) + R"("channels": [0, 8])")
        << "conversation 3, channels: no channel 8";
    QTest::newRow("seven-channel input, channel 7")
        << one(R"("model": "9086", "address": "10", "baud": 9600, "channels": [7])")
        << "conversation 3, channels: model 9086 has no channel 7 (it has 7)";
    QTest::newRow("a name that is no model")
        << one(R"("model": "20X6", "address": "10", "baud": 9600)")
        << "conversation 3, model: \"20X6\" is no model name";
    QTest::newRow("output channel 4 of four")
        << one(R"("model": "2028", "address": "10", "baud": 9600, "channel": 4)")
        << "conversation 3, channel: model 2028 has no output channel 4 (it has 4)";
    QTest::newRow("digital bit past the module")
        << one(R"("model": "2065", "address": "10", "baud": 9600, "bit": 8)")
        << "conversation 3, bit: model 2065 has no bit 8 (it has 8)";
    QTest::newRow("slot 8") << one(R"("model": "9091", "address": "10", "baud": 9600, "slot": 8)")
                            << "conversation 3, slot: 8 is not 0 to 7";
    QTest::newRow("texts of 73 bytes")
        << one(QByteArray(good) + R"("output": "source", "source": {"service": ")" +
               QByteArray(31, 's') + R"(", "topic": ")" + QByteArray(30, 't') + R"(", "item": ")" +
               QByteArray(12, 'i') + "\"}")
        << "conversation 3, source: service, topic and item take 73 bytes, more than 72";
    QTest::newRow("text beyond Latin-1")
        << one(QByteArray(good) + R"("output": "source", "source": {"service": "\u20ac", )"
                                  R"("topic": "t", "item": "i"})")
        << "conversation 3, source: holds a character beyond Latin-1";
    QTest::newRow("source output without a source")
        << one(QByteArray(good) + R"("output": "source")")
        << "conversation 3, source: an output from a source needs service, topic and item";
    QTest::newRow("unknown io") << one(QByteArray(good) + R"("io": "blink")")
                                << "conversation 3, io: \"blink\" is not one of: none,";
    QTest::newRow("value too large for a single")
        << one(QByteArray(good) + R"("outValue": "1e39")")
        << "conversation 3, outValue: \"1e39\" is not a number";
    QTest::newRow("unknown field")
        << one(QByteArray(good) + R"("colour": 1)") << "conversation 3, colour: unknown field";
    QTest::newRow("conversation 32")
        << QByteArray(R"({"interval": 1000, "conversations": [{"conv": 32}]})")
        << "entry 1, conv: 32 is not 0 to 31";
    QTest::newRow("conversation twice")
        << QByteArray(R"({"interval": 1000, "conversations": [{"conv": 0, "inUse": false}, )"
                      R"({"conv": 0, "inUse": false}]})")
        << "conversation 0, conv: conversation 0 is given twice";
    QTest::newRow("interval below the scroll bar")
        << QByteArray(R"({"interval": 20, "conversations": []})")
        << "interval: 20 ms is not 50 to 10000";
    QTest::newRow("no interval") << QByteArray(R"({"conversations": []})") << "interval: missing";
    QTest::newRow("not JSON") << QByteArray(R"({"interval": 1000,)") << "text: not JSON at byte";
    QTest::newRow("CSV quote not closed") << QByteArray("interval,1000\nconv,model\n0,\"2026\n")
                                          << "line 3: a quoted cell is not closed";
    QTest::newRow("CSV unknown column")
        << QByteArray("interval,1000\nconv,modell\n") << "line 2, modell: unknown column";
    QTest::newRow("CSV rate") << QByteArray(
                                     "interval,1000\nconv,model,address,baud\n5,2026,01,96000\n")
                              << "conversation 5, baud: 96000 is not one of";
}

void CnvTextTest::importRefuses()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, problem);
    const QStringList found = texts(cnvtext::importList(text).problems);
    QVERIFY2(found.size() == 1 && found.first().startsWith(problem), qPrintable(found.join('\n')));
}

void CnvTextTest::damagedPairs_data()
{
    QTest::addColumn<QByteArray>("cnv");
    QTest::addColumn<QByteArray>("companion");
    QTest::addColumn<QStringList>("problems");

    const ConversationPair sound = listOf(conversation("2026", 1, 9600, 1));
    const QByteArray cnv = encodeCnv(sound.conv);
    const QByteArray companion = *encodeCompanion(sound.link);
    QTest::newRow("sound") << cnv << companion << QStringList();
    QTest::newRow("CNV file too long")
        << cnv + "x" << companion << QStringList{"CNV file: 897 bytes, not 896"};
    QTest::newRow("companion cut short")
        << cnv << companion.left(80)
        << QStringList{
               "companion file: 80 bytes, not 2640", "interval: 0 ms is not 50 to 10000",
               "interval: the settings entry is not \"Timer Interval\" with no topic and item"};

    QByteArray overrun = companion;
    overrun[2 * 80] = char(100); // a service of 100 bytes in record 3
    QTest::newRow("text past its record")
        << cnv << overrun
        << QStringList{
               "conversation 2, source: companion record 3: its texts reach past the record"};

    QByteArray rate = cnv;
    rate[7 * 28 + 6] = 0x12; // 9600 becomes 0x2512
    QTest::newRow("rate written elsewhere")
        << rate << companion
        << QStringList{"conversation 7, baud: 9490 is not one of 115200 57600 38400 19200 9600 "
                       "4800 2400 1200"};
    QByteArray inUse = cnv;
    inUse[0] = 5;
    QTest::newRow("stray in-use value")
        << inUse << companion
        << QStringList{"conversation 0, inUse: 5 is neither true nor false",
                       "conversation 0, model: missing",
                       "conversation 0, baud: 0 is not one of "
                       "115200 57600 38400 19200 9600 4800 2400 1200"};
}

void CnvTextTest::damagedPairs()
{
    QFETCH(QByteArray, cnv);
    QFETCH(QByteArray, companion);
    QFETCH(QStringList, problems);
    QCOMPARE(texts(cnvtext::checkFiles(cnv, companion)), problems);
}

QTEST_GUILESS_MAIN(CnvTextTest)
#include "tst_cnvtext.moc"
