#include "link/Rendering.h"

#include <QTest>

class TestRendering : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyByte_data();
    void everyByte();
    void texts_data();
    void texts();
};

void TestRendering::everyByte_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<QString>("piece");
    for (int b = 0; b < 256; ++b) {
        QString piece = QStringLiteral("? ");
        if (b == 0x06)
            piece = QStringLiteral("ACK ");
        else if (b == 0x0D)
            piece = QStringLiteral("CR ");
        else if (b == 0x0A)
            piece = QStringLiteral("LF  ");
        else if (b >= 0x20 && b <= 0x7A)
            piece = QString(QChar(b)) + u' ';
        QTest::addRow("0x%02x", b) << b << piece;
    }
}

void TestRendering::everyByte()
{
    QFETCH(int, byte);
    QFETCH(QString, piece);
    const QByteArray text(1, char(byte));
    QCOMPARE(tolvek::render(text), QStringLiteral(" ") + piece);
}

void TestRendering::texts_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("rendered");
    QTest::newRow("command") << QByteArray("C09\r") << QStringLiteral(" C 0 9 CR ");
    QTest::newRow("ack") << QByteArray("\x06") << QStringLiteral(" ACK ");
    QTest::newRow("status reply") << QByteArray("00\r") << QStringLiteral(" 0 0 CR ");
    QTest::newRow("query") << QByteArray("CR6\r") << QStringLiteral(" C R 6 CR ");
    QTest::newRow("ack then line feed") << QByteArray("\x06\n") << QStringLiteral(" ACK LF  ");
    QTest::newRow("empty") << QByteArray() << QStringLiteral(" ");
    QTest::newRow("lower case and braces") << QByteArray("z{~") << QStringLiteral(" z ? ? ");
    QTest::newRow("tab") << QByteArray("\t") << QStringLiteral(" ? ");
    QTest::newRow("nul inside") << QByteArray("A\0B", 3) << QStringLiteral(" A ? B ");
    QTest::newRow("high bytes") << QByteArray("\x80\xff") << QStringLiteral(" ? ? ");
}

void TestRendering::texts()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, rendered);
    QCOMPARE(tolvek::render(text), rendered);
}

QTEST_GUILESS_MAIN(TestRendering)
#include "tst_rendering.moc"
