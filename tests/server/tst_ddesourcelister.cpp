// The bus source chooser: what introspection yields, and the live list of
// item servers on a private bus, in this process and in another.

#include "ddetestbus.h"
#include "server/ddeitemserver.h"
#include "server/ddesourcelister.h"
#include "server/windows/ddesourcedialog.h"

#include <QLineEdit>
#include <QTreeWidget>
#include <QtTest>

using namespace telviox;
using namespace telviox::test;
using namespace Qt::StringLiterals;

class TestDdeSourceLister : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parsesIntrospection_data();
    void parsesIntrospection();
    void listsServersOfBothProcesses();
    void dialogHandsBackOnlyAnItem();

private:
    TestBus m_bus;
};

void TestDdeSourceLister::initTestCase()
{
    QString reason;
    if (!m_bus.start(&reason))
        QSKIP(qPrintable(reason));
}

void TestDdeSourceLister::parsesIntrospection_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("xml");
    QTest::addColumn<bool>("isTopic");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("children");

    QTest::newRow("root with children")
        << u"/"_s << u"<node><node name=\"Form5\"/><node name=\"Line_2EA\"/></node>"_s << false
        << QStringList{} << QStringList{u"/Form5"_s, u"/Line_2EA"_s};
    QTest::newRow("topic, escaped item")
        << u"/Form5"_s
        << u"<node><interface name=\"dde.Topic\"><method name=\"Request\"/>"
           "<property name=\"Text1\" type=\"s\"/><property name=\"Level_202\" type=\"s\"/>"
           "</interface></node>"_s
        << true << QStringList{u"Text1"_s, u"Level 2"_s} << QStringList{};
    // Properties of other interfaces are no items; nested nodes of a child
    // belong to that child.
    QTest::newRow("foreign properties")
        << u"/x"_s
        << u"<node><interface name=\"org.example.I\"><property name=\"P\" type=\"s\"/>"
           "</interface><node name=\"y\"><node name=\"z\"/></node></node>"_s
        << false << QStringList{} << QStringList{u"/x/y"_s};
    QTest::newRow("topic without items")
        << u"/"_s << u"<node><interface name=\"dde.Topic\"/></node>"_s << true << QStringList{}
        << QStringList{};
    QTest::newRow("broken document")
        << u"/"_s << u"<node><interface name=\"dde.Topic\"><property name=\"A\">"_s << false
        << QStringList{} << QStringList{};
}

void TestDdeSourceLister::parsesIntrospection()
{
    QFETCH(QString, path);
    QFETCH(QString, xml);
    const auto node = DdeSourceLister::parseIntrospection(path, xml);
    QTEST(node.isTopic, "isTopic");
    QTEST(node.items, "items");
    QTEST(node.children, "children");
}

void TestDdeSourceLister::listsServersOfBothProcesses()
{
    DdeItemServer plant(u"Plant 2"_s, u"Values"_s, {u"Setpoint"_s, u"Level 2"_s});
    DdeItemServer second(u"Plant 2"_s, u"Alarms"_s, {u"High"_s});
    QVERIFY2(plant.publish(), qPrintable(plant.errorString()));
    QVERIFY2(second.publish(), qPrintable(second.errorString()));
    // A name of another scheme on the same bus is not listed.
    QVERIFY(QDBusConnection::sessionBus().registerService(u"org.example.NotAnItemServer"_s));

    LineProcess tool;
    QString line;
    QVERIFY(tool.start(programPath(u"telvioxd-dde"_s), {"serve", "Other", "Line.A", "Temp=1"}));
    QVERIFY2(tool.nextLine(&line), qPrintable(tool.errors()));

    DdeSourceLister lister;
    const auto sources = lister.list();
    QVERIFY2(lister.errorString().isEmpty(), qPrintable(lister.errorString()));
    QStringList seen;
    for (const DdeSource &source : sources)
        seen << source.service + u'|' + source.topic + u'|' + source.items.join(u',');
    QCOMPARE(seen, (QStringList{u"Other|Line.A|Temp"_s, u"Plant 2|Alarms|High"_s,
                                u"Plant 2|Values|Setpoint,Level 2"_s}));

    // Once a server has gone, it is no longer offered.
    plant.unpublish();
    second.unpublish();
    QCOMPARE(lister.list().size(), size_t(1));
}

void TestDdeSourceLister::dialogHandsBackOnlyAnItem()
{
    DdeSourceDialog dialog(QDBusConnection::sessionBus());
    const std::vector<DdeSource> sources = {{u"A"_s, u"T"_s, {u"x"_s, u"y"_s}},
                                            {u"B"_s, QString(), {u"z"_s}}};
    dialog.setSources(sources, {u"A"_s, u"T"_s, {u"y"_s}});
    auto chosen = dialog.choice();
    QVERIFY(chosen);
    QCOMPARE(chosen->service + chosen->topic + chosen->items.join(u','), u"ATy"_s);

    // Nothing found: the placeholder row is no choice.
    dialog.setSources({});
    QVERIFY(!dialog.choice());
    auto *tree = dialog.findChild<QTreeWidget *>(u"sourceTree"_s);
    QVERIFY(tree);
    tree->setCurrentItem(tree->topLevelItem(0));
    QVERIFY(!dialog.choice());
}

QTEST_MAIN(TestDdeSourceLister)
#include "tst_ddesourcelister.moc"
