// A gateway's telnet side as the client meets it: what it makes of the far end's bytes however the
// network splits them, what it answers, and what it sends to the far port.
#include "link/Rfc2217Client.h"

#include <QHash>
#include <QTest>

using Event = Rfc2217Client::Event;
using Kind = Rfc2217Client::EventKind;
using B = QByteArray;

namespace {

// The wire written out: telnet's commands by name (each with its IAC), FF a lone 255, numbers as
// bytes, anything else as its text.
QByteArray wire(const QString &text)
{
    static const QHash<QString, QByteArray> names{{"SE", "\xff\xf0"}, {"NOP", "\xff\xf1"},  {"AYT", "\xff\xf6"},
                                                  {"SB", "\xff\xfa"}, {"WILL", "\xff\xfb"}, {"WONT", "\xff\xfc"},
                                                  {"DO", "\xff\xfd"}, {"DONT", "\xff\xfe"}, {"FF", "\xff"},
                                                  {"CR", "\r"},       {"LF", "\n"}};
    QByteArray out;
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts)) {
        bool number = false;
        const int value = word.toInt(&number);
        out += names.contains(word) ? names[word] : number ? B(1, char(value)) : word.toLatin1();
    }
    return out;
}

// Setting the far port to a speed (four bytes as on the wire), 8N1, no flow control; reports add 100.
QByteArray line(const QString &speed, int report = 0)
{
    QString text = QStringLiteral("SB 44 %1 %2 SE").arg(1 + report).arg(speed);
    for (const int command : {2, 3, 4, 5})
        text += QStringLiteral(" SB 44 %1 %2 SE").arg(command + report).arg(command == 2 ? 8 : 1);
    return wire(text);
}

const QString k9600 = QStringLiteral("0 0 37 128");
const QString k19200 = QStringLiteral("0 0 75 0");

} // namespace

class TestRfc2217 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void receiving_data();
    void receiving();
    void sending_data();
    void sending();
};

void TestRfc2217::receiving_data()
{
    QTest::addColumn<QByteArray>("incoming");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QList<Event>>("events");
    const QList<Event> none, accepted{{Kind::ComPortAccepted}}, refused{{Kind::ComPortRefused}};
    // clang-format off
    const QList<Event> reported{{Kind::BaudRate, 9600}, {Kind::DataBits, QSerialPort::Data8},
                                {Kind::Parity, QSerialPort::NoParity}, {Kind::StopBits, QSerialPort::OneStop},
                                {Kind::FlowControl, QSerialPort::NoFlowControl}};
    QTest::newRow("doubled ff") << wire("A FF FF CR") << wire("A FF CR") << B() << none;
    // Binary passes CR NUL as data; without it, CR NUL is a bare CR.
    QTest::newRow("binary on and off") << wire("WILL 0 CR 0 LF WONT 0 CR 0") << wire("CR 0 LF CR") << wire("DONT 0")
                                       << none;
    QTest::newRow("accepted") << wire("DO 0 WILL 0 DO 3 WILL 3 DO 44") << B() << line(k9600) << accepted;
    QTest::newRow("refused") << wire("DONT 44") << B() << B() << refused;
    QTest::newRow("withdrawn") << wire("DO 44 DONT 44") << B() << line(k9600) + wire("WONT 44") << accepted + refused;
    QTest::newRow("answers unanswered") << wire("DO 0 WILL 0 DO 3 WILL 3 WILL 0") << B() << B() << none;
    // Echo, terminal type and the com port the wrong way round; the far end's replies end it.
    QTest::newRow("others refused") << wire("WILL 1 DO 24 WILL 44 WONT 1 DONT 24") << B()
                                    << wire("DONT 1 WONT 24 DONT 44") << none;
    QTest::newRow("line reported") << line(k9600, 100) << B() << B() << reported;
    QTest::newRow("speed with ff") << wire("SB 44 101 0 0 FF FF 0 SE") << B() << B()
                                   << QList<Event>{{Kind::BaudRate, 0xff00}};
    QTest::newRow("skipped") << wire("A SB 44 106 96 SE SB 44 107 48 SE NOP AYT SB 24 1 SE B") << wire("AB") << B()
                             << none;
    QTest::newRow("malformed") << wire("SB 44 101 0 37 128 SE SB 44 103 9 SE SB 44 101") + B(300, '\xff') + wire("SE A")
                               << wire("A") << B() << none;
    QTest::newRow("lost se") << wire("SB 44 101 0 0 WILL 1 A") << wire("A") << wire("DONT 1") << none;
    // clang-format on
}

void TestRfc2217::receiving()
{
    QFETCH(QByteArray, incoming);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, answer);
    QFETCH(QList<Event>, events);
    // Whole, then cut after every byte: the network splits anywhere, inside a command too.
    for (qsizetype whole = incoming.size(); whole >= 0; --whole) {
        Rfc2217Client client;
        client.start(LineFormat{9600});
        Rfc2217Client::Received got = client.feed(incoming.first(whole));
        for (const char c : incoming.sliced(whole)) {
            const Rfc2217Client::Received r = client.feed(QByteArrayView(&c, 1));
            got.data += r.data;
            got.answer += r.answer;
            got.events += r.events;
        }
        QVERIFY2(got == (Rfc2217Client::Received{data, answer, events}), qPrintable(QString::number(whole)));
    }
}

void TestRfc2217::sending_data()
{
    QTest::addColumn<QByteArray>("incoming");
    QTest::addColumn<int>("speed");
    QTest::addColumn<QByteArray>("sent");         // the new line, then FF CR as data
    QTest::addColumn<QByteArray>("onAcceptance"); // when the far end then sends DO
    // Before the far end takes binary, a bare CR goes as CR NUL.
    QTest::newRow("accepted") << wire("DO 0 DO 44") << 19200 << line(k19200) + wire("FF FF CR") << B();
    QTest::newRow("ff in the speed") << wire("DO 44") << 255 << line("0 0 0 FF FF") + wire("FF FF CR 0") << B();
    QTest::newRow("pending") << B() << 19200 << wire("FF FF CR 0") << line(k19200);
    QTest::newRow("refused") << wire("DONT 44") << 19200 << wire("FF FF CR 0") << wire("WILL 44") + line(k19200);
}

void TestRfc2217::sending()
{
    QFETCH(QByteArray, incoming);
    QFETCH(int, speed);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, onAcceptance);
    Rfc2217Client client;
    // The line waits for the far end's DO.
    QCOMPARE(client.start(LineFormat{9600}), wire("WILL 0 DO 0 WILL 3 DO 3 WILL 44"));
    client.feed(incoming);
    QCOMPARE(client.setLine(LineFormat{speed}) + client.encode(wire("FF CR")), sent);
    QCOMPARE(client.feed(wire("DO 44")).answer, onAcceptance);
}

QTEST_GUILESS_MAIN(TestRfc2217)
#include "tst_rfc2217.moc"
