// The vocabulary by name, as tolvek-send finds it: the names scripts are written against, and
// what a misspelt name is told.
#include "commands/Names.h"
#include "wire/Text.h"

#include <QTest>

class TestNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void names_data();
    void names();
    void everyEntryIsFoundByItsName();
};

void TestNames::names_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("text");      // what it sends; empty: refused
    QTest::addColumn<QStringList>("close"); // offered instead, when refused
    // Published names: scripts in the field use them, so each must keep its text.
    const auto published = QStringList{
        "power-on=C00", "power-off=C02", "input-pc=C05",      "input-video=C07",   "menu-on=C1C",     "vol-up=C09",
        "vol-down=C0A", "bright-up=C20", "zoom-up=C30",       "keystone-down=C8F", "cursor-up=C3C",   "select=C3F",
        "r-click=C3E",  "a-image=C89",   "display-clear=C1E", "screen-normal=C0F", "screen-wide=C10", "status=CR0",
        "mode=CR1",     "lamp-time=CR3", "setting=CR4",       "temp=CR6"};
    for (const QString &pair : published) {
        const QStringList p = pair.split(u'=');
        QTest::newRow(qPrintable(p[0])) << p[0] << p[1] << QStringList();
    }
    QTest::newRow("a letter dropped") << "pwer-on" << QString() << QStringList{"power-on"};
    QTest::newRow("a word of four") << "mute" << QString()
                                    << QStringList{"audio-mute-on", "video-mute-on", "audio-mute-off",
                                                   "video-mute-off"};
    QTest::newRow("a misspelt word") << "powr" << QString()
                                     << QStringList{"power-on", "power-off", "power-management-on",
                                                    "power-management-off"};
    QTest::newRow("longer than the name") << "temperature" << QString() << QStringList{"temp"};
    QTest::newRow("capitals") << "Power-On" << QString() << QStringList{"power-on", "power-off"};
    QTest::newRow("a command text is no name") << "C00" << QString() << QStringList{"c01"};
    QTest::newRow("with its carriage return") << "status\r" << QString() << QStringList{"status"};
    QTest::newRow("nothing near") << "xyzzy" << QString() << QStringList();
    QTest::newRow("empty") << "" << QString() << QStringList();
}

void TestNames::names()
{
    QFETCH(QString, given);
    QFETCH(QString, text);
    QFETCH(QStringList, close);
    const std::optional<vocabulary::Named> found = vocabulary::findName(given);
    QCOMPARE(found ? QString(latin1(found->text)) : QString(), text);
    if (!found)
        QCOMPARE(vocabulary::closeNames(given), close);
}

void TestNames::everyEntryIsFoundByItsName()
{
    for (const vocabulary::Command &c : vocabulary::kCommands) {
        const auto found = vocabulary::findName(QString(latin1(c.name)));
        QVERIFY2(found && found->text == c.text && !found->query, c.name.data());
    }
    for (const vocabulary::Query &q : vocabulary::kQueries) {
        const auto found = vocabulary::findName(QString(latin1(q.name)));
        QVERIFY2(found && found->text == q.text && found->query == &q, q.name.data());
    }
}

QTEST_GUILESS_MAIN(TestNames)
#include "tst_names.moc"
