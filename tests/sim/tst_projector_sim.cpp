#include "outbox.h"
#include "projector.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace projsim;

namespace {

QByteArray ask(Projector &p, const QByteArray &bytes, Millis now = 0)
{
    QByteArray out;
    for (const Exchange &ex : p.receive(bytes.toStdString(), now))
        out += QByteArray::fromStdString(ex.reply);
    return out;
}

// Until `want` bytes came or the time is up; `reads` counts the read()s.
QByteArray readFor(int fd, qsizetype want, int timeoutMs, int *reads = nullptr)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < want && clock.elapsed() < timeoutMs) {
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, int(timeoutMs - clock.elapsed())) <= 0 || !(pfd.revents & POLLIN))
            break;
        char buf[65536];
        const ssize_t n = read(fd, buf, std::min<qsizetype>(sizeof buf, want - got.size()));
        if (n <= 0)
            break;
        got.append(buf, n);
        if (reads)
            ++*reads;
    }
    return got;
}

// The built simulator, with the far end opened as the panel would.
struct Sim {
    QProcess proc;
    QString device;
    int fd = -1;

    explicit Sim(const QStringList &args)
    {
        proc.start(QStringLiteral(PROJECTOR_SIM), args);
        while (proc.waitForStarted(5000) && !proc.canReadLine() && proc.waitForReadyRead(5000)) {}
        device = QString::fromUtf8(proc.readLine()).trimmed();
        fd = open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        if (fd >= 0 && tcgetattr(fd, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
        }
    }
    ~Sim()
    {
        if (fd >= 0)
            close(fd);
        proc.kill();
        proc.waitForFinished(5000);
    }
    QByteArray send(const QByteArray &frame, qsizetype replyBytes)
    {
        if (write(fd, frame.constData(), size_t(frame.size())) != frame.size())
            return "write failed";
        return readFor(fd, replyBytes, 5000);
    }
};

} // namespace

class TestProjectorSim : public QObject {
    Q_OBJECT

private slots:
    void verdicts_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("reply");
        for (const char *c : {"C00", "C01", "C02", "C05", "C07", "C09", "C0A", "C0B", "C0C", "C0D",
                              "C0E", "C0F", "C10", "C1C", "C1D", "C1E", "C20", "C21", "C27", "C2A",
                              "C2B", "C30", "C31", "C3A", "C3B", "C3C", "C3D", "C3E", "C3F", "C43",
                              "C44", "C89", "C8A", "C8E", "C8F"})
            QTest::newRow(c) << QByteArray(c) + '\r' << QByteArray("\x06");
        const QByteArray no = "?\r";
        QTest::newRow("unlisted code") << QByteArray("C03\r") << no;
        QTest::newRow("lower-case hex") << QByteArray("C2a\r") << no;
        QTest::newRow("lower-case c") << QByteArray("c00\r") << no;
        QTest::newRow("three digits") << QByteArray("C000\r") << no;
        QTest::newRow("bare CR") << QByteArray("\r") << no;
        QTest::newRow("line feed before") << QByteArray("\nC00\r") << no;
        QTest::newRow("space after") << QByteArray("C00 \r") << no;
        QTest::newRow("NUL inside") << QByteArray("C\0" "00\r", 5) << no;
        QTest::newRow("unlisted query") << QByteArray("CR2\r") << no;
        QTest::newRow("two-digit query") << QByteArray("CR00\r") << no;
        QTest::newRow("overlong") << QByteArray(500, 'C') + "C00\r" << no;
    }
    void verdicts()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, reply);
        Projector p;
        QCOMPARE(ask(p, frame), reply);
        if (reply == "?\r") // and a rejected C00 must not power on
            QCOMPARE(ask(p, "CR0\r"), QByteArray("80\r"));
    }

    void framesSurviveAnySplitting_data()
    {
        QTest::addColumn<QByteArrayList>("reads");
        QTest::addColumn<QByteArray>("replies");
        QTest::newRow("whole") << QByteArrayList{"CR0\r"} << QByteArray("80\r");
        QTest::newRow("cut mid-frame") << QByteArrayList{"C0", "0\r"} << QByteArray("\x06");
        QTest::newRow("cut before CR") << QByteArrayList{"CR4", "\r"} << QByteArray("11\r");
        QTest::newRow("a byte a read") << QByteArrayList{"C", "R", "3", "\r"} << QByteArray("1234\r");
        QTest::newRow("two in one read") << QByteArrayList{"C07\rCR1\r"} << QByteArray("\x06" "3\r");
        QTest::newRow("straddling") << QByteArrayList{"C07\rC05\rC", "R1\rCR"} << QByteArray("\x06\x06" "1\r");
        QTest::newRow("junk then good") << QByteArrayList{"x", "y\rCR0\r"} << QByteArray("?\r80\r");
        QTest::newRow("overlong then good") << QByteArrayList{QByteArray(300, 'A'), "\rCR0\r"} << QByteArray("?\r80\r");
    }
    void framesSurviveAnySplitting()
    {
        QFETCH(QByteArrayList, reads);
        QFETCH(QByteArray, replies);
        Projector p;
        QByteArray got;
        for (const QByteArray &r : reads)
            got += ask(p, r);
        QCOMPARE(got, replies);
    }

    void powerStates_data()
    {
        // "T Cxx" sends a command at T ms; "T =xx" expects CR0 to say xx.
        QTest::addColumn<int>("pmIdle");
        QTest::addColumn<QString>("script");
        QTest::newRow("counts down, then on") << 0 << "0 =80; 0 C00; 0 =40; 9999 =40; 10000 =00";
        QTest::newRow("C02 cools, then standby") << 0 << "0 C00; 10000 C02; 10000 =20; 19999 =20; 20000 =80";
        QTest::newRow("steps caught up at once") << 0 << "0 C00; 10000 C02; 900000 =80";
        QTest::newRow("off ignored counting down") << 0 << "0 C00; 5000 C02; 5000 =40; 10000 =00";
        QTest::newRow("on ignored cooling") << 0 << "0 C00; 10000 C02; 12000 C00; 12000 =20; 20000 =80";
        QTest::newRow("idle with pm") << 60000 << "0 C2A; 0 C00; 69999 =00; 70000 =24; 79999 =24; 80000 =04";
        QTest::newRow("commands keep it awake") << 60000 << "0 C2A; 0 C00; 60000 C09; 119999 =00; 120000 =24";
        QTest::newRow("pm off stays on") << 60000 << "0 C2A; 0 C00; 1000 C2B; 900000 =00";
        QTest::newRow("on from pm standby") << 60000 << "0 C2A; 0 C00; 80000 =04; 80000 C00; 80000 =40; 90000 =00";
        QTest::newRow("off from pm standby") << 60000 << "0 C2A; 0 C00; 80000 C02; 80000 =80";
    }
    void powerStates()
    {
        QFETCH(int, pmIdle);
        QFETCH(QString, script);
        Settings s;
        s.pmIdleMs = pmIdle;
        Projector p(s);
        for (const QString &step : script.split(';')) {
            const QStringList parts = step.trimmed().split(' ');
            const Millis t = parts[0].toLongLong();
            const QByteArray what = parts[1].toLatin1();
            if (what.startsWith('='))
                QVERIFY2(ask(p, "CR0\r", t) == what.mid(1) + '\r', qPrintable(step));
            else
                QVERIFY2(ask(p, what + '\r', t) == "\x06", qPrintable(step));
        }
    }

    void lampHours_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("toggles"); // times of C00, C02, C00, ...
        QTest::addColumn<int>("at");
        QTest::addColumn<QByteArray>("reply");
        const int h = 3'600'000;
        const QList<int> twoSpells = {0, h / 2, 2 * h};
        QTest::newRow("standby does not count") << 1234 << QList<int>{} << 10 * h << QByteArray("1234\r");
        QTest::newRow("not yet an hour") << 1234 << QList<int>{0} << h - 1 << QByteArray("1234\r");
        QTest::newRow("counting down counts") << 1234 << QList<int>{0} << h << QByteArray("1235\r");
        QTest::newRow("cooling does not count") << 1234 << twoSpells << 2 * h + h / 2 - 1 << QByteArray("1234\r");
        QTest::newRow("lit spells add up") << 1234 << twoSpells << 2 * h + h / 2 << QByteArray("1235\r");
        QTest::newRow("four digits") << 7 << QList<int>{} << 0 << QByteArray("0007\r");
        QTest::newRow("stops at 9999") << 9999 << QList<int>{0} << 2 * h << QByteArray("9999\r");
    }
    void lampHours()
    {
        QFETCH(int, start);
        QFETCH(QList<int>, toggles);
        QFETCH(int, at);
        QFETCH(QByteArray, reply);
        Settings s;
        s.startHours = start;
        Projector p(s);
        for (int i = 0; i < toggles.size(); ++i)
            ask(p, i % 2 ? "C02\r" : "C00\r", toggles[i]);
        QCOMPARE(ask(p, "CR3\r", at), reply);
    }

    void temperaturesSitWherePanelReadsThem()
    {
        Projector p;
        ask(p, "C00\r", 0);
        const double bases[] = {25.0, 30.5, 27.0};
        QSet<QByteArray> seen;
        for (Millis t = 0; t < 400'000; t += 1'700) {
            const QByteArray reply = ask(p, "CR6\r", t);
            QCOMPARE(reply.size(), 18);
            QCOMPARE(reply.back(), '\r');
            const auto temps = p.temperatures(t);
            // The panel's 1-based character ranges 1-5, 8-11 and 13-17.
            const QByteArray shown[] = {reply.mid(0, 5), reply.mid(7, 4), reply.mid(12, 5)};
            for (int i = 0; i < 3; ++i) {
                bool ok = false;
                const double v = shown[i].toDouble(&ok);
                QVERIFY2(ok, reply.constData());
                QCOMPARE(v, temps[size_t(i)]);
                QVERIFY2(std::abs(v - bases[i]) <= 0.5 + 1e-9, reply.constData());
            }
            seen.insert(reply);
        }
        QVERIFY2(seen.size() > 20, "temperatures hardly move while on");

        ask(p, "C02\r", 400'000);
        QCOMPARE(ask(p, "CR6\r", 900'000), ask(p, "CR6\r", 410'000));
    }

    void outboxTiming_data()
    {
        // "T+ab" posts "ab" at T; "T=ab" expects exactly "ab" to be due at T.
        QTest::addColumn<int>("delay");
        QTest::addColumn<int>("gap"); // 0: not split
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QString>("script");
        QTest::newRow("at once") << 0 << 0 << false << "0+ab 0=ab";
        QTest::newRow("silent") << 0 << 0 << true << "0+ab 0= 99999=";
        QTest::newRow("delayed") << 250 << 0 << false << "0+ab 249= 250=ab";
        QTest::newRow("delay overlaps input") << 250 << 0 << false << "0+a 100+b 250=a 349= 350=b";
        QTest::newRow("split") << 0 << 30 << false << "0+abc 0=a 29= 30=b 59= 60=c";
        QTest::newRow("split never interleaves") << 0 << 30 << false << "0+ab 10+cd 10=a 30=b 59= 60=c 90=d";
        QTest::newRow("split after a pause") << 0 << 30 << false << "0+ab 0=a 30=b 1000+cd 1000=c 1030=d";
        QTest::newRow("delayed and split") << 100 << 30 << false << "0+ab 99= 100=a 129= 130=b";
        QTest::newRow("late caller gets all") << 0 << 30 << false << "0+abc 5000=abc";
    }
    void outboxTiming()
    {
        QFETCH(int, delay);
        QFETCH(int, gap);
        QFETCH(bool, silent);
        QFETCH(QString, script);
        Outbox box({silent, delay, gap > 0, gap});
        for (const QString &step : script.split(' ')) {
            const qsizetype op = step.indexOf(QRegularExpression("[+=]"));
            const Millis t = step.left(op).toLongLong();
            const std::string bytes = step.mid(op + 1).toStdString();
            if (step[op] == '+')
                box.post(bytes, t);
            else
                QVERIFY2(box.takeDue(t) == bytes && (box.empty() || *box.nextDue() > t), qPrintable(step));
        }
        QVERIFY(box.empty());
    }

    void noiseKeepsPaceAndCycles_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("limit"); // 0: none
        QTest::addColumn<int>("until");
        QTest::addColumn<int>("expected");
        QTest::newRow("line pace") << NoiseSource::kLineRate << 0 << 10'000 << 19200;
        QTest::newRow("slow") << 3.0 << 0 << 10'000 << 30;
        QTest::newRow("fractional") << 7.5 << 0 << 10'000 << 75;
        QTest::newRow("rounding-prone") << 9.7 << 0 << 100'100 << 970;
        QTest::newRow("fast") << 44100.0 << 0 << 10'000 << 441000;
        QTest::newRow("limited") << 1000.0 << 1234 << 10'000 << 1234;
    }
    void noiseKeepsPaceAndCycles()
    {
        QFETCH(double, rate);
        QFETCH(int, limit);
        QFETCH(int, until);
        QFETCH(int, expected);
        NoiseSource noise(rate, limit ? std::optional<std::uint64_t>(limit) : std::nullopt, 0);
        std::string all;
        // Woken exactly when told, as the loop is: each wake must find a byte due.
        for (auto t = noise.nextAt(); t && *t <= until; t = noise.nextAt()) {
            QVERIFY2(noise.ready(*t, 1) == 1, qPrintable(QString("nothing due at %1").arg(*t)));
            all += noise.peek(1);
            noise.commit(1);
        }
        QCOMPARE(all.size(), size_t(expected));
        for (size_t i = 0; i < all.size(); ++i)
            QCOMPARE(static_cast<unsigned char>(all[i]), static_cast<unsigned char>(i & 0xFF));
    }

    void binaryTalksOverPty()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath("frames.log"), link = dir.filePath("projector");
        Sim sim({"--log", log, "--link", link});
        QVERIFY2(sim.fd >= 0, qPrintable(sim.device));
        QCOMPARE(QFile::symLinkTarget(link), sim.device);

        QCOMPARE(sim.send("CR0\r", 3), QByteArray("80\r"));
        QCOMPARE(sim.send("C00\r", 1), QByteArray("\x06"));
        QCOMPARE(sim.send("ZZ\r", 2), QByteArray("?\r"));
        QCOMPARE(sim.send("CR0\r", 3), QByteArray("40\r"));
        QCOMPARE(sim.send("\x01\\\xff\r", 2), QByteArray("?\r"));

        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts);
        const QStringList frames = {"CR0\\r", "C00\\r", "ZZ\\r", "CR0\\r", "\\x01\\\\\\xFF\\r"};
        QCOMPARE(lines.size(), frames.size());
        qint64 last = 0;
        for (int i = 0; i < lines.size(); ++i) {
            const auto m = QRegularExpression("^(\\d+) (.*)$").match(lines[i]);
            QVERIFY2(m.hasMatch() && m.captured(2) == frames[i], qPrintable(lines[i]));
            QVERIFY(m.captured(1).toLongLong() >= last);
            last = m.captured(1).toLongLong();
        }

        sim.proc.terminate();
        QVERIFY(sim.proc.waitForFinished(5000));
        QCOMPARE(sim.proc.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.proc.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void binaryHangsUpAfterFrames()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("projector");
        Sim sim({"--hangup-after", "2", "--link", link});
        QCOMPARE(sim.send("CR1\r", 2), QByteArray("1\r"));
        QCOMPARE(sim.send("C05\r", 1), QByteArray("\x06")); // read before the line drops
        QVERIFY(sim.proc.waitForFinished(5000));
        QCOMPARE(sim.proc.exitCode(), 0);
        pollfd pfd{sim.fd, POLLIN, 0};
        QCOMPARE(poll(&pfd, 1, 5000), 1);
        QVERIFY(pfd.revents & POLLHUP);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void binaryFaults_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("minReads");
        QTest::newRow("delay") << QStringList{"--delay", "400"} << QByteArray("80\r") << 350 << 1;
        QTest::newRow("split") << QStringList{"--split-gap", "150"} << QByteArray("80\r") << 250 << 2;
        QTest::newRow("silent") << QStringList{"--silent"} << QByteArray() << 0 << 0;
    }
    void binaryFaults()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, reply);
        QFETCH(int, minMs);
        QFETCH(int, minReads);
        QTemporaryDir dir;
        Sim sim(args + QStringList{"--log", dir.filePath("log")});
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(write(sim.fd, "CR0\r", 4), 4);
        int reads = 0;
        QCOMPARE(readFor(sim.fd, 3, reply.isEmpty() ? 800 : 5000, &reads), reply);
        QVERIFY2(clock.elapsed() >= minMs, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(reads >= minReads);
        QFile log(dir.filePath("log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().endsWith(" CR0\\r\n"));
    }

    void binaryFloodsExactly()
    {
        const int total = 1 << 20;
        Sim sim({"--noise", "max", "--noise-bytes", QString::number(total)});
        const QByteArray got = readFor(sim.fd, total, 20000);
        QCOMPARE(got.size(), total);
        for (int i = 0; i < total; ++i)
            if (static_cast<unsigned char>(got[i]) != (i & 0xFF))
                QFAIL(qPrintable(QString("byte %1 is %2").arg(i).arg(int(static_cast<unsigned char>(got[i])))));
        QCOMPARE(readFor(sim.fd, 1, 300), QByteArray()); // not a byte more
        QCOMPARE(sim.send("CR0\r", 3), QByteArray("80\r"));
    }

    void binaryOptionErrors()
    {
        const QList<QPair<QStringList, int>> cases = {
            {{"--help"}, 0}, {{"--frobnicate"}, 2}, {{"--delay"}, 2}, {{"--warmup", "-1"}, 2}, {{"--noise", "loud"}, 2}};
        for (const auto &[args, exitCode] : cases) {
            QProcess p;
            p.start(QStringLiteral(PROJECTOR_SIM), args);
            QVERIFY(p.waitForFinished(5000));
            QCOMPARE(p.exitCode(), exitCode);
            QVERIFY((exitCode ? p.readAllStandardError() : p.readAllStandardOutput()).contains("usage: projector-sim"));
        }
    }
};

QTEST_GUILESS_MAIN(TestProjectorSim)
#include "tst_projector_sim.moc"
