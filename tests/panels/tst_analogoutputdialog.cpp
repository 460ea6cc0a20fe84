// The analog output panels' windows, driven offscreen by object name.

#include "panels/windows/analogoutputdialog.h"
#include "search/searchrig.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QtTest>

using namespace telviox;
using namespace telviox::panels;
using namespace telviox::test;
using namespace Qt::StringLiterals;

class TestAnalogOutputDialog : public QObject
{
    Q_OBJECT

private slots:
    void typedValueIsAssigned();
    void rangeOptionsRelabel();
    void channelsOfTwoChannelModel();
    void sourceBoxesAndCloseBox();

private:
    struct Rig
    {
        Rig() : search("{\"modules\": []}") { search.state.CurConv = 3; }
        std::unique_ptr<AnalogOutputDialog> open(AnalogPanel panel)
        {
            auto dialog = std::make_unique<AnalogOutputDialog>(panel, search.state, search.library,
                                                               search.clock, search.prompt);
            dialog->show();
            return dialog;
        }
        SearchRig search;
    };
    template <typename T> static T *child(QWidget *w, const QString &name)
    {
        auto *c = w->findChild<T *>(name);
        if (!c)
            qFatal("no control %s", qPrintable(name));
        return c;
    }
};

void TestAnalogOutputDialog::typedValueIsAssigned()
{
    Rig rig;
    auto dialog = rig.open(AnalogPanel::SingleChannel);
    QCOMPARE(dialog->objectName(), u"frm2011"_s);
    child<QRadioButton>(dialog.get(), u"Option1(0)"_s)->click();
    auto *text = child<QLineEdit>(dialog.get(), u"outputText"_s);
    text->clear();
    QTest::keyClicks(text, u"12.5"_s);
    QTest::keyClick(text, Qt::Key_Return);
    // Enter acts on the value only; the panel stays open.
    QVERIFY(dialog->isVisible());
    QCOMPARE(child<QSlider>(dialog.get(), u"Slider1"_s)->value(), 62);
    QCOMPARE(text->text(), u"12.5"_s);
    child<QPushButton>(dialog.get(), u"Command3"_s)->click();
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(rig.search.state.Link[3].Linked, qint16(2));
}

void TestAnalogOutputDialog::rangeOptionsRelabel()
{
    Rig rig;
    auto dialog = rig.open(AnalogPanel::SingleChannel);
    // Opened by hand: 0 to 10 V.
    QVERIFY(child<QRadioButton>(dialog.get(), u"Option1(2)"_s)->isChecked());
    child<QRadioButton>(dialog.get(), u"Option1(1)"_s)->click();
    QCOMPARE(child<QGroupBox>(dialog.get(), u"Frame2"_s)->title(), u"Output Range: 4 to 20 mA"_s);
    QStringList labels;
    for (const char *name : {"Label9", "Label10", "Label11", "Label12"})
        labels << child<QLabel>(dialog.get(), QString::fromLatin1(name))->text();
    QCOMPARE(labels, (QStringList{u"4"_s, u"20"_s, u"12"_s, u"mA"_s}));
    auto *slider = child<QSlider>(dialog.get(), u"Slider1"_s);
    slider->setValue(50);
    QCOMPARE(child<QLineEdit>(dialog.get(), u"outputText"_s)->text(), u"12.000"_s);

    // A value out of range: the message, and the slider's value is back.
    rig.search.prompt.expect(u"the value must between 4 to 20"_s, BoxStyle::Critical,
                             u"Value error !"_s, Answer::Ok);
    auto *text = child<QLineEdit>(dialog.get(), u"outputText"_s);
    text->setText(u"21"_s);
    QTest::keyClick(text, Qt::Key_Return);
    QCOMPARE(rig.search.prompt.problems(), QStringList());
    QCOMPARE(text->text(), u"12.000"_s);
    QCOMPARE(slider->value(), 50);
}

void TestAnalogOutputDialog::channelsOfTwoChannelModel()
{
    Rig rig;
    rig.search.state.ModelName = u"2046      "_s;
    auto dialog = rig.open(AnalogPanel::Q2000);
    QCOMPARE(dialog->objectName(), u"frm2028"_s);
    QVERIFY(!dialog->findChild<QRadioButton *>(u"Option1(0)"_s));
    QList<bool> shown;
    for (int i = 0; i < 4; ++i)
        shown << child<QRadioButton>(dialog.get(), u"Option2(%1)"_s.arg(i))->isVisible();
    QCOMPARE(shown, (QList<bool>{true, true, false, false}));
    child<QRadioButton>(dialog.get(), u"Option2(1)"_s)->click();
    QCOMPARE(rig.search.state.OutChannels, qint16(1));
}

void TestAnalogOutputDialog::sourceBoxesAndCloseBox()
{
    Rig rig;
    rig.search.state.Link[3] = {u"Plant"_s, u"Values"_s, u"Level"_s, 1};
    rig.search.state.PanelFromFound = 1;
    rig.search.state.DialogState = 1;
    auto dialog = rig.open(AnalogPanel::Slot9000);
    QCOMPARE(dialog->objectName(), u"frm9028"_s);
    auto *text1 = child<QLineEdit>(dialog.get(), u"Text1"_s);
    QCOMPARE(text1->text(), u"Plant"_s);
    QCOMPARE(child<QLineEdit>(dialog.get(), u"Text3"_s)->text(), u"Level"_s);
    QCOMPARE(child<QPushButton>(dialog.get(), u"browseCmd"_s)->text(), u"Browse\u2026"_s);
    dialog->activateWindow();
    text1->setFocus();
    QTest::keyClick(text1, Qt::Key_Return);
    QVERIFY(dialog->isVisible());
    if (QApplication::focusWidget()) // focus needs an active window
        QCOMPARE(QApplication::focusWidget()->objectName(), u"Text2"_s);

    dialog->close();
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QCOMPARE(rig.search.state.DialogState, qint16(2));
    QCOMPARE(rig.search.state.PanelFromFound, qint16(0));
    QCOMPARE(rig.search.state.Link[3].Linked, qint16(1));
}

QTEST_MAIN(TestAnalogOutputDialog)
#include "tst_analogoutputdialog.moc"
