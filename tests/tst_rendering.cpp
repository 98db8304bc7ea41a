#include "link/ReceivedBytes.h"
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
    void boundKeepsTheNewest_data();
    void boundKeepsTheNewest();
    void changesRebuildTheRendering();
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

void TestRendering::boundKeepsTheNewest_data()
{
    QTest::addColumn<int>("chunk");
    QTest::addColumn<int>("total");
    QTest::newRow("byte at a time, just over") << 1 << int(ReceivedBytes::kCapacity) + 1;
    QTest::newRow("byte at a time, three times over") << 1 << int(ReceivedBytes::kCapacity) * 3 + 17;
    QTest::newRow("odd chunks") << 997 << 100000;
    QTest::newRow("one chunk larger than the bound") << 70000 << 70000;
}

void TestRendering::boundKeepsTheNewest()
{
    QFETCH(int, chunk);
    QFETCH(int, total);
    QByteArray stream(total, Qt::Uninitialized);
    for (int i = 0; i < total; ++i)
        stream[i] = char(i * 7 % 256);

    ReceivedBytes buffer;
    for (int at = 0; at < total; at += chunk)
        buffer.append(QByteArrayView(stream).sliced(at, std::min(chunk, total - at)));

    QCOMPARE(buffer.size(), ReceivedBytes::kCapacity);
    QVERIFY(buffer.bytes() == QByteArrayView(stream).last(ReceivedBytes::kCapacity));
}

void TestRendering::changesRebuildTheRendering()
{
    // Applying each change's cut and addition to the last rendering must give the rendering
    // of the whole buffer, also when the bytes that give way render at different widths.
    const QByteArray pattern("\x06\r\nA\x80" "00\r", 8);
    ReceivedBytes buffer;
    QString view = tolvek::render({});
    for (int round = 0; round < 9000; ++round) {
        const QByteArray chunk = pattern.left(1 + round % pattern.size());
        const ReceivedBytes::Change change = buffer.append(chunk);
        view.remove(1, change.cutRenderedLength);
        tolvek::appendRendering(view, change.added);
        if (round % 1000 == 999)
            QCOMPARE(view, tolvek::render(buffer.bytes()));
    }
    QCOMPARE(buffer.size(), ReceivedBytes::kCapacity);
    QCOMPARE(view, tolvek::render(buffer.bytes()));
}

QTEST_GUILESS_MAIN(TestRendering)
#include "tst_rendering.moc"
