// The setting dialog driven through its controls, on the simulator's search
// line: conversations made by hand and from found modules, OK's refusals and
// read-backs, Cancel and the close question.

#include "settingrig.h"

#include "core/programnames.h"
#include "device/catalogue.h"

#include <QtTest>

using namespace telviox;
using test::SettingRig;

Q_DECLARE_METATYPE(telviox::SubDialog)

namespace {

const QString Caption = QStringLiteral("Setting 2000 Module Configuration");
const QString NotSet = QStringLiteral("Can't Exact Setting DDE Conversation !");
const QString QuitSetting = QStringLiteral("Quit this configuration setting");

int entryOf(const char *name)
{
    const int entry = int(catalogue::settingList().indexOf(QLatin1String(name)));
    if (entry < 0)
        throw std::runtime_error(std::string("no entry ") + name);
    return entry;
}

// What the sub-dialogs hand back in these tests.
void answerSubDialog(SharedState &state, SubDialog)
{
    state.SelChannels = 0x81;
    state.CounterChannels = 2;
    state.OutChannels = 3;
    state.DioType = 2;
    state.DioData = 0x11;
    state.AssignValue = 7.5f;
}

} // namespace

class TestSettingDialog : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_rig = std::make_unique<SettingRig>(); }
    void cleanup()
    {
        QVERIFY2(m_rig->prompt.problems().isEmpty(), qPrintable(m_rig->prompt.problems().join('\n')));
        m_rig.reset();
    }

    void createdByHand_data();
    void createdByHand();
    void createdFromFoundModule_data();
    void createdFromFoundModule();
    void refusedAndRetried_data();
    void refusedAndRetried();
    void readBackFailure_data();
    void readBackFailure();
    void linkedOutputNeedsNoPort();
    void readBackGivesTheServerItsPortBack();
    void loadFillsFromConversation_data();
    void loadFillsFromConversation();
    void addressIsHexadecimal_data();
    void addressIsHexadecimal();
    void cancelAndCloseQuestion_data();
    void cancelAndCloseQuestion();
    void channelDialogFromFoundModuleLeavesNoPanelFlag();

private:
    std::unique_ptr<SettingRig> m_rig;
};

void TestSettingDialog::createdByHand_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("slot");
    QTest::addColumn<int>("baudEntry");
    QTest::addColumn<SubDialog>("opens");
    QTest::addColumn<qint32>("typeCode");
    QTest::addColumn<int>("channels");
    QTest::addColumn<float>("outValue");
    QTest::addColumn<int>("ioType");
    QTest::addColumn<int>("outData");

    // The simulator's line: 2011 at 08 puts out 12.0, 2065 at 0C has outputs
    // A5, the 9000 unit at 11 holds a 9035 (outputs F0) in slot 1, 92061 at
    // 0F has outputs C, the 9900 unit at 12 (19200) holds a 9028 (5.0) in slot 3.
    QTest::newRow("single input") << "2026/D" << "1" << "" << 4 << SubDialog::Dio
                                  << qint32(0x2026) << 1 << 0.0f << 0 << 0;
    QTest::newRow("eight-channel input") << "2091" << "6" << "" << 4 << SubDialog::Channels8
                                         << qint32(0x2091) << 0x81 << 0.0f << 0 << 0;
    QTest::newRow("three-channel input") << "2096" << "B" << "" << 4 << SubDialog::Channels3
                                         << qint32(0x2096) << 0x81 << 0.0f << 0 << 0;
    QTest::newRow("counter") << "2032/D" << "E" << "" << 3 << SubDialog::Counter
                             << qint32(0x2032) << 2 << 0.0f << 0 << 0;
    QTest::newRow("analog output read back") << "2011" << "8" << "" << 4 << SubDialog::Output2011
                                             << qint32(0x2011) << 1 << 12.0f << 0 << 0;
    QTest::newRow("9000 output read back") << "9028" << "12" << "3" << 3 << SubDialog::Output9K
                                           << qint32(0xFFFF9028) << 3 << 5.0f << 0 << 0;
    QTest::newRow("digital read back") << "2065" << "C" << "" << 4 << SubDialog::Dio
                                       << qint32(0x2065) << 3 << 0.0f << 2 << 0xA5;
    QTest::newRow("9000 digital read back") << "9035" << "11" << "1" << 4 << SubDialog::Dio9K
                                            << qint32(0xFFFF9035) << 3 << 0.0f << 2 << 0xF0;
    QTest::newRow("92000 digital read back") << "92061" << "f" << "" << 4 << SubDialog::Dio9K
                                             << qint32(0x92061) << 3 << 0.0f << 2 << 0xC;
    QTest::newRow("other kind") << "2063" << "4" << "" << 4 << SubDialog::None
                                << qint32(0x2063) << 1 << 0.0f << 2 << 0x11;
}

void TestSettingDialog::createdByHand()
{
    QFETCH(QString, type);
    QFETCH(QString, address);
    QFETCH(QString, slot);
    QFETCH(int, baudEntry);
    QFETCH(SubDialog, opens);
    QFETCH(qint32, typeCode);
    QFETCH(int, channels);
    QFETCH(float, outValue);
    QFETCH(int, ioType);
    QFETCH(int, outData);

    SettingRig &rig = *m_rig;
    rig.onSubDialog = [&rig](SubDialog which) { answerSubDialog(rig.state, which); };
    answerSubDialog(rig.state, SubDialog::None);
    SettingWindow &window = rig.open(5);
    rig.chooseType(entryOf(qPrintable(type)));
    const std::vector<SubDialog> expected =
        opens == SubDialog::None ? std::vector<SubDialog>{} : std::vector<SubDialog>{opens};
    QVERIFY(rig.opened == expected);
    rig.typeAddress(address);
    rig.typeSlot(slot);
    rig.child<QComboBox>("form2baudrateCombo")->setCurrentIndex(baudEntry);
    rig.ok();

    QCOMPARE(window.result(), int(QDialog::Accepted));
    QCOMPARE(rig.state.DialogState, qint16(0));
    const ConvRecord &conv = rig.conv();
    QCOMPARE(conv.InUse, qint16(1));
    QCOMPARE(conv.TypeCode, typeCode);
    QCOMPARE(conv.Address, ConversationSetting::hexNumber(address));
    QCOMPARE(conv.BaudRate, ConversationSetting::baudRates()[std::size_t(baudEntry)]);
    QCOMPARE(conv.Slot, qint16(slot.toInt()));
    QCOMPARE(conv.Channels, qint16(channels));
    QCOMPARE(conv.OutValue, outValue);
    QCOMPARE(conv.IoType, qint16(ioType));
    QCOMPARE(conv.OutData, qint16(outData));
    QCOMPARE(conv.LinkActive, qint16(0));
    QVERIFY(!rig.link.isOpen(rig.state.ComPort));
}

void TestSettingDialog::createdFromFoundModule_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typeText");
    QTest::addColumn<SubDialog>("opens");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("checksum");
    QTest::addColumn<QString>("addressText");
    QTest::addColumn<QString>("slotText");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("output module") << 8 << "2011" << "2011" << SubDialog::Output2011 << "9600"
                                   << "Disable" << "8" << "0" << true;
    QTest::newRow("with checksum at 19200") << 0x0D << "2058" << "2058" << SubDialog::Dio
                                            << "19200" << "Enable" << "D" << "0" << true;
    QTest::newRow("slot module with a letter") << 0x12 << "9091H" << "9091/H"
                                               << SubDialog::Channels8 << "19200" << "Disable"
                                               << "12" << "0" << true;
    QTest::newRow("slot output") << 0x12 << "9028" << "9028" << SubDialog::Output9K << "19200"
                                 << "Disable" << "12" << "3" << true;
    QTest::newRow("92000 keeps five characters") << 0x0F << "92061" << "92061" << SubDialog::Dio9K
                                                 << "9600" << "Disable" << "F" << "0" << true;
    QTest::newRow("name without an entry") << 0x10 << "WDT0" << "WDT0" << SubDialog::None << "9600"
                                           << "Disable" << "10" << "0" << false;
}

void TestSettingDialog::createdFromFoundModule()
{
    QFETCH(int, address);
    QFETCH(QString, name);
    QFETCH(QString, typeText);
    QFETCH(SubDialog, opens);
    QFETCH(QString, baud);
    QFETCH(QString, checksum);
    QFETCH(QString, addressText);
    QFETCH(QString, slotText);
    QFETCH(bool, accepted);

    SettingRig &rig = *m_rig;
    rig.search();
    SettingWindow &window = rig.open(2);
    const int row = rig.foundLine(address, name);
    rig.doubleClickFound(row);
    QCOMPARE(rig.state.FoundIndex, qint16(row));
    QCOMPARE(rig.child<QComboBox>("form2typeCombo")->currentText(), typeText);
    QCOMPARE(rig.child<QComboBox>("form2baudrateCombo")->currentText(), baud);
    QCOMPARE(rig.child<QComboBox>("checksumCombo")->currentText(), checksum);
    QCOMPARE(rig.child<QLineEdit>("form2addressText")->text(), addressText);
    QCOMPARE(rig.child<QLineEdit>("slotText")->text(), slotText);
    if (opens == SubDialog::None) {
        QVERIFY(rig.opened.empty());
    } else {
        QVERIFY(rig.opened == std::vector<SubDialog>{opens});
        // The panel fills itself from the found record.
        QVERIFY(rig.panelFlags == std::vector<qint16>{1});
    }

    if (!accepted)
        rig.prompt.expect(NotSet, BoxStyle::Information, ProgramTitle, Answer::Ok);
    rig.ok();
    QCOMPARE(window.result() == QDialog::Accepted, accepted);
    QCOMPARE(rig.conv().InUse, qint16(accepted ? 1 : 0));
    if (accepted) {
        QCOMPARE(rig.conv().Address, qint16(address));
        QCOMPARE(rig.conv().BaudRate, baud.toInt());
        QCOMPARE(rig.conv().Checksum, qint16(checksum == "Enable" ? 1 : 0));
    }
}

void TestSettingDialog::refusedAndRetried_data()
{
    QTest::addColumn<QString>("why");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("title");

    QTest::newRow("empty address") << "address" << "Please Assign Module Address !!!" << Caption;
    QTest::newRow("no type chosen") << "type" << NotSet << ProgramTitle;
    QTest::newRow("sub-dialog closed by its close box") << "closed" << NotSet << ProgramTitle;
}

void TestSettingDialog::refusedAndRetried()
{
    QFETCH(QString, why);
    QFETCH(QString, message);
    QFETCH(QString, title);

    SettingRig &rig = *m_rig;
    SettingWindow &window = rig.open(7);
    if (why != "type")
        rig.chooseType(entryOf("2063"));
    if (why != "address")
        rig.typeAddress("20");
    rig.typeSlot("4");
    if (why == "closed")
        rig.state.DialogState = 2;

    rig.prompt.expect(message, BoxStyle::Information, title, Answer::Ok);
    rig.ok();
    QVERIFY(window.result() != QDialog::Accepted);
    QCOMPARE(rig.state.DialogState, qint16(1));
    QCOMPARE(rig.conv().InUse, qint16(0));
    QCOMPARE(rig.prompt.beeps(), 1);
    // The slot is taken before the address and type are checked.
    QCOMPARE(rig.conv().Slot, qint16(why == "closed" ? 0 : 4));

    if (why == "type")
        rig.chooseType(entryOf("2063"));
    if (why == "address")
        rig.typeAddress("20");
    rig.ok();
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QCOMPARE(rig.conv().InUse, qint16(1));
    QCOMPARE(rig.conv().Address, qint16(0x20));
}

void TestSettingDialog::readBackFailure_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("title");

    // Nothing answers at address 30.
    QTest::newRow("analog, no answer") << "2011" << 1 << " 15" << BoxStyle::Critical << "2011";
    QTest::newRow("analog 9000, no answer") << "9028" << 1 << " 15" << BoxStyle::Critical
                                            << "FFFF9028";
    QTest::newRow("digital, no answer") << "2065" << 1 << "DigitalOutReadBack(), The Error Code: 15"
                                        << BoxStyle::Critical << "2065";
    QTest::newRow("9000 digital, no answer")
        << "9035" << 1 << "DigitalOutReadBack_9K(), The Error Code: 15" << BoxStyle::Critical
        << "FFFF9035";
    QTest::newRow("92000 digital, no answer")
        << "92061" << 1 << "DigitalOutReadBack_92K(), The Error Code: 15" << BoxStyle::Critical
        << "92061";
    QTest::newRow("analog, port missing") << "2028" << test::MissingPort << QuitSetting
                                          << BoxStyle::YesNo << "2011: OPEN_COM Error Code: 2";
    QTest::newRow("digital, port missing") << "2099" << test::MissingPort << QuitSetting
                                           << BoxStyle::Critical << "OPEN_COM Error Code: 2";
}

void TestSettingDialog::readBackFailure()
{
    QFETCH(QString, type);
    QFETCH(int, port);
    QFETCH(QString, text);
    QFETCH(int, style);
    QFETCH(QString, title);

    SettingRig &rig = *m_rig;
    rig.state.ComPort = qint16(port);
    SettingWindow &window = rig.open(3);
    rig.chooseType(entryOf(qPrintable(type)));
    rig.typeAddress("30");
    rig.prompt.expect(text, style, title, Answer::No);
    rig.ok();

    QVERIFY(window.result() != QDialog::Accepted);
    QCOMPARE(rig.prompt.beeps(), 1);
    // The fields are written, the conversation is not in use.
    QCOMPARE(rig.conv().InUse, qint16(0));
    QCOMPARE(rig.conv().TypeCode, catalogue::typeCodeOfListIndex(entryOf(qPrintable(type))));
    QCOMPARE(rig.conv().Address, qint16(0x30));
    QVERIFY(!rig.link.isOpen(port));

    // The refused input is not lost silently: closing asks.
    rig.prompt.expect("To quit setting ?", BoxStyle::YesNo | BoxStyle::Question, Caption,
                      Answer::Yes);
    window.show();
    QVERIFY(window.close());
    QVERIFY(rig.cleared == std::vector<int>{3});
}

void TestSettingDialog::linkedOutputNeedsNoPort()
{
    SettingRig &rig = *m_rig;
    rig.state.ComPort = test::MissingPort;
    rig.state.Link[4].Linked = 1;
    rig.state.AssignValue = 3.25f;
    SettingWindow &window = rig.open(4);
    rig.chooseType(entryOf("2011"));
    rig.typeAddress("30");
    rig.ok();
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QCOMPARE(rig.conv().InUse, qint16(1));
    QCOMPARE(rig.conv().OutValue, 3.25f);
}

void TestSettingDialog::readBackGivesTheServerItsPortBack()
{
    SettingRig &rig = *m_rig;
    QCOMPARE(rig.link.Open_Com(1, 19200), LinkCode::Ok);
    SettingWindow &window = rig.open(0);
    rig.chooseType(entryOf("2011"));
    rig.typeAddress("8");
    rig.ok();
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QCOMPARE(rig.conv().OutValue, 12.0f);
    QVERIFY(rig.link.isOpen(1));
    QCOMPARE(rig.link.openBaud(1), 19200);
}

void TestSettingDialog::loadFillsFromConversation_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("checksum");
    QTest::addColumn<bool>("fills");
    QTest::addColumn<SubDialog>("opens");
    QTest::addColumn<QString>("baudText");

    QTest::newRow("analog output") << "2011" << 19200 << 1 << true << SubDialog::Output2011
                                   << "19200";
    QTest::newRow("counter, unknown rate") << "2032/D" << 300 << 0 << true << SubDialog::Counter
                                           << "9600";
    QTest::newRow("eight-channel input") << "2086" << 1200 << 0 << true << SubDialog::Channels8
                                         << "1200";
    QTest::newRow("not in the load list") << "2046" << 19200 << 1 << false << SubDialog::None
                                          << "9600";
    QTest::newRow("9000 module") << "9035" << 19200 << 1 << false << SubDialog::None << "9600";
}

void TestSettingDialog::loadFillsFromConversation()
{
    QFETCH(QString, type);
    QFETCH(int, baud);
    QFETCH(int, checksum);
    QFETCH(bool, fills);
    QFETCH(SubDialog, opens);
    QFETCH(QString, baudText);

    SettingRig &rig = *m_rig;
    ConvRecord &conv = rig.state.Conv[9];
    conv.TypeCode = catalogue::typeCodeOfListIndex(entryOf(qPrintable(type)));
    conv.BaudRate = baud;
    conv.Address = 0x1A;
    conv.Checksum = qint16(checksum);
    conv.Slot = 5;
    SettingWindow &window = rig.open(9);
    QCOMPARE(rig.state.DialogState, qint16(1));
    QCOMPARE(rig.child<QLineEdit>("form2addressText")->text(), fills ? QString("1A") : QString());
    QCOMPARE(rig.child<QComboBox>("form2baudrateCombo")->currentText(), baudText);
    QCOMPARE(rig.child<QComboBox>("checksumCombo")->currentText(),
             fills && checksum ? QString("Enable") : QString("Disable"));
    QCOMPARE(rig.child<QLineEdit>("slotText")->text(), QString());
    QCOMPARE(rig.child<QComboBox>("form2typeCombo")->currentText(), QString("2026/D"));

    // The first activation selects the type and opens its sub-dialog, once.
    window.show();
    QTRY_COMPARE(rig.child<QComboBox>("form2typeCombo")->currentIndex(),
                 fills ? entryOf(qPrintable(type)) : -1);
    window.hide();
    window.show();
    QCoreApplication::processEvents();
    const std::vector<SubDialog> expected =
        fills ? std::vector<SubDialog>{opens} : std::vector<SubDialog>{};
    QVERIFY(rig.opened == expected);
}

void TestSettingDialog::addressIsHexadecimal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("address");

    QTest::newRow("lower case") << "ff" << 0xFF;
    QTest::newRow("leading digits only") << "12xy" << 0x12;
    QTest::newRow("leading blanks") << "  7" << 7;
    QTest::newRow("no digits") << "zz" << 0;
    QTest::newRow("too large for the record") << "FFFFFF" << 0x7FFF;
}

void TestSettingDialog::addressIsHexadecimal()
{
    QFETCH(QString, text);
    QFETCH(int, address);

    SettingRig &rig = *m_rig;
    SettingWindow &window = rig.open(1);
    rig.chooseType(entryOf("2063"));
    rig.typeAddress(text);
    rig.ok();
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QCOMPARE(rig.conv().Address, qint16(address));
}

void TestSettingDialog::cancelAndCloseQuestion_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");

    QTest::newRow("cancel, yes") << "cancel" << int(Answer::Yes) << true;
    QTest::newRow("cancel, no") << "cancel" << int(Answer::No) << false;
    QTest::newRow("close box, yes") << "close" << int(Answer::Yes) << true;
    QTest::newRow("escape, yes") << "escape" << int(Answer::Yes) << true;
}

void TestSettingDialog::cancelAndCloseQuestion()
{
    QFETCH(QString, how);
    QFETCH(int, answer);
    QFETCH(bool, closes);

    SettingRig &rig = *m_rig;
    SettingWindow &window = rig.open(12);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    rig.prompt.expect("To quit setting ?", BoxStyle::YesNo | BoxStyle::Question, Caption,
                      Answer(answer));
    if (how == "cancel")
        rig.cancel();
    else if (how == "close")
        window.close();
    else
        QTest::keyClick(&window, Qt::Key_Escape);
    QCOMPARE(window.isVisible(), !closes);
    QCOMPARE(rig.cleared.size(), std::size_t(closes ? 1 : 0));
    if (closes)
        QCOMPARE(rig.cleared.front(), 12);
    QCOMPARE(rig.prompt.beeps(), 1);
}

void TestSettingDialog::channelDialogFromFoundModuleLeavesNoPanelFlag()
{
    SettingRig &rig = *m_rig;
    rig.search();
    rig.open(0);
    rig.doubleClickFound(rig.foundLine(6, "2091"));
    QVERIFY(rig.opened == std::vector<SubDialog>{SubDialog::Channels8});
    // A panel chosen by hand afterwards starts from its defaults.
    QCOMPARE(rig.state.PanelFromFound, qint16(0));
}

QTEST_MAIN(TestSettingDialog)
#include "tst_settingdialog.moc"
