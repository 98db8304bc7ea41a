#include "outbox.h"
#include "projector.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <numeric>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
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

int connectTo(const QString &device)
{
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(device.section(':', -1).toUShort());
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<const sockaddr *>(&at), sizeof at) != 0 || fcntl(fd, F_SETFL, O_NONBLOCK) != 0)
        return close(fd), -1;
    return fd;
}

// The built simulator, its terminal opened (or its port connected to) as the
// panel would; a terminal must come raw.
struct Sim {
    QProcess proc;
    QString device;
    int fd = -1;

    explicit Sim(const QStringList &args)
    {
        proc.start(QStringLiteral(PROJECTOR_SIM), args);
        while (proc.waitForStarted(5000) && !proc.canReadLine() && proc.waitForReadyRead(5000)) {}
        device = QString::fromUtf8(proc.readLine()).trimmed();
        fd = device.startsWith("tcp://") ? connectTo(device)
                                         : open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~Sim()
    {
        close(fd);
        proc.terminate();
        proc.waitForFinished(5000);
    }
    QByteArray send(const QByteArray &frame, qsizetype want, int lagMs = 0)
    {
        if (write(fd, frame.constData(), size_t(frame.size())) != frame.size())
            return "write failed";
        poll(nullptr, 0, lagMs); // a panel slow to read
        return receive(want);
    }
    QByteArray receive(qsizetype want)
    {
        QByteArray got;
        char buf[4096];
        ssize_t n = 0;
        for (pollfd pfd{fd, POLLIN, 0}; got.size() < want && poll(&pfd, 1, 5000) > 0
             && (n = read(fd, buf, size_t(std::min<qsizetype>(want - got.size(), sizeof buf)))) > 0;)
            got.append(buf, n);
        return got;
    }
};

} // namespace

class TestProjectorSim : public QObject {
    Q_OBJECT

private slots:
    void replies_data()
    {
        QTest::addColumn<QByteArrayList>("reads");
        QTest::addColumn<QByteArray>("replies");
        QTest::newRow("known command") << QByteArrayList{"C8F\r"} << QByteArray("\x06");
        QTest::newRow("unknown command, query") << QByteArrayList{"C03\rCR2\r"} << QByteArray("?\r?\r");
        QTest::newRow("lower-case hex") << QByteArrayList{"C2a\r"} << QByteArray("?\r");
        QTest::newRow("stray byte, no power on") << QByteArrayList{"C00 \rCR0\r"} << QByteArray("?\r80\r");
        QTest::newRow("overlong then good") << QByteArrayList{QByteArray(300, 'A'), "\rCR0\r"} << QByteArray("?\r80\r");
        QTest::newRow("cut mid-frame") << QByteArrayList{"C0", "0\r"} << QByteArray("\x06");
        // clang-format off
        QTest::newRow("straddling reads") << QByteArrayList{"C07\rCR1\rC05\rC", "R1\rCR"} << QByteArray("\x06" "3\r\x06" "1\r");
        // clang-format on
        QTest::newRow("lamp hours, reversal") << QByteArrayList{"CR3\rCR4\r"} << QByteArray("1234\r11\r");
    }
    void replies()
    {
        QFETCH(QByteArrayList, reads);
        Projector p;
        QByteArray got;
        for (const QByteArray &r : reads)
            got += ask(p, r);
        QTEST(got, "replies");
    }

    void powerStates_data()
    {
        // "T Cxx" sends a command at T ms; "T =xx" expects CR0 to say xx.
        QTest::addColumn<QString>("script");
        QTest::newRow("cycle, out of turn ignored")
            << "0 =80; 0 C00; 5000 C02; 9999 =40; 10000 =00; 10000 C02; 12000 C00; 19999 =20; 20000 =80";
        QTest::newRow("idle with pm") << "0 C2A; 0 C00; 69999 =00; 70000 =24; 79999 =24; 80000 =04";
    }
    void powerStates()
    {
        QFETCH(QString, script);
        Projector p(Settings{.pmIdleMs = 60000});
        for (const QString &step : script.split("; ")) {
            const Millis t = step.section(' ', 0, 0).toLongLong();
            const QByteArray what = step.section(' ', 1).toLatin1();
            const bool query = what.startsWith('=');
            QVERIFY2(ask(p, query ? "CR0\r" : what + '\r', t) == (query ? what.mid(1) + '\r' : "\x06"),
                     qPrintable(step));
        }
    }

    void temperaturesSitWherePanelReadsThem()
    {
        Projector p;
        ask(p, "C00\r", 0);
        const double bases[] = {25.0, 30.5, 27.0};
        for (Millis t = 0; t < 400'000; t += 17'000) {
            const QByteArray reply = ask(p, "CR6\r", t);
            QVERIFY2(reply.size() == 18 && reply.back() == '\r', reply.constData());
            // The panel's 1-based character ranges 1-5, 8-11 and 13-17.
            const QByteArray shown[] = {reply.mid(0, 5), reply.mid(7, 4), reply.mid(12, 5)};
            for (int i = 0; i < 3; ++i)
                QVERIFY2(shown[i].toDouble() == p.temperatures(t)[size_t(i)]
                             && std::abs(shown[i].toDouble() - bases[i]) <= 0.5,
                         reply.constData());
        }
    }

    void outboxTiming()
    {
        // "T+ab" posts "ab" at T; "T=ab" expects exactly "ab" to be due at T. Gap 0: not split.
        const struct {
            int delay, gap;
            QString script;
        } cases[] = {{250, 0, "0+a 100+b 249= 250=a 349= 350=b"},     // delay overlaps input
                     {0, 30, "0+ab 10+cd 10=a 30=b 59= 60=c 90=d"},   // split never interleaves
                     {0, 30, "0+ab 0=a 30=b 1000+cd 1000=c 1030=d"}}; // split after a pause
        for (const auto &c : cases) {
            Outbox box({false, c.delay, c.gap > 0, c.gap});
            for (const QString &step : c.script.split(' ')) {
                const qsizetype op = step.indexOf(QRegularExpression("[+=]"));
                const Millis t = step.left(op).toLongLong();
                const std::string bytes = step.mid(op + 1).toStdString();
                if (step[op] == '+')
                    box.post(bytes, t);
                else
                    QVERIFY2(box.takeDue(t) == bytes && (box.empty() || *box.nextDue() > t),
                             qPrintable(c.script + ": " + step));
            }
            QVERIFY(box.empty());
        }
    }

    void noisePace()
    {
        const struct {
            double rate;
            int limit, until, expected;
        } cases[] = {{9.7, 0, 100'100, 970}, {NoiseSource::kLineRate, 1234, 10'000, 1234}};
        for (const auto &c : cases) {
            NoiseSource noise(c.rate, c.limit ? std::optional<std::uint64_t>(c.limit) : std::nullopt, 0);
            std::string all;
            // Woken exactly when told, as the loop is: each wake must find a byte due.
            for (auto t = noise.nextAt(); t && *t <= c.until; t = noise.nextAt()) {
                QVERIFY2(noise.ready(*t, 1) == 1, qPrintable(QString("nothing due at %1").arg(*t)));
                all += noise.peek(1);
                noise.commit(1);
            }
            std::string cycle(size_t(c.expected), '\0');
            std::iota(cycle.begin(), cycle.end(), '\0');
            QVERIFY(all == cycle);
        }
    }

    void badValuesAreRefused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("noise slower than a time can hold") << QStringList{"--noise", "1e-16"};
        QTest::newRow("noise faster than a count can hold") << QStringList{"--noise", "1e12"};
        QTest::newRow("noise nan") << QStringList{"--noise=nan"};
        QTest::newRow("warmup past a time") << QStringList{"--warmup", "1e12"};
        QTest::newRow("cooldown infinite") << QStringList{"--cooldown", "inf"};
        QTest::newRow("delay negative") << QStringList{"--delay", "-1"};
        QTest::newRow("hours past four digits") << QStringList{"--hours", "10000"};
        QTest::newRow("noise bytes past a count") << QStringList{"--noise", "max", "--noise-bytes", "1e20"};
        QTest::newRow("hangup after nothing") << QStringList{"--hangup-after", "0"};
        QTest::newRow("tcp off the loopback") << QStringList{"--tcp", "0.0.0.0:0"};
        QTest::newRow("tcp port past 16 bits") << QStringList{"--tcp", "127.0.0.1:65536"};
        QTest::newRow("tcp with a link") << QStringList{"--tcp", "127.0.0.1:0", "--link", "/tmp/x"};
    }
    void badValuesAreRefused()
    {
        QFETCH(QStringList, args);
        QProcess sim;
        sim.start(QStringLiteral(PROJECTOR_SIM), args);
        QVERIFY2(sim.waitForFinished(5000), "still running");
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(sim.readAllStandardError().contains("usage: projector-sim"));
    }

    void failedWritesEndTheRun_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("stdout closed") << "closed";
        QTest::newRow("stdout left unread") << "unread";
        QTest::newRow("log on a full disk") << "log";
    }
    void failedWritesEndTheRun()
    {
        QFETCH(QString, fault);
        int out[2];
        QVERIFY(pipe2(out, O_CLOEXEC) == 0);
        if (fault == "closed")
            close(out[0]);
        QProcess sim;
        sim.setChildProcessModifier([&] { dup2(out[1], STDOUT_FILENO); });
        sim.start(QStringLiteral(PROJECTOR_SIM), fault == "log" ? QStringList{"--log", "/dev/full"} : QStringList{});
        QVERIFY(sim.waitForStarted(5000));
        close(out[1]);
        pollfd pfd{out[0], POLLIN, 0};
        if (fault == "unread")
            QVERIFY(poll(&pfd, 1, 5000) == 1);
        if (fault == "log") {
            char line[256] = {};
            QVERIFY(poll(&pfd, 1, 5000) == 1 && read(out[0], line, sizeof line - 1) > 0);
            const int fd = open(QByteArray(line).trimmed().constData(), O_RDWR | O_NOCTTY);
            QVERIFY(write(fd, "C00\r", 4) == 4);
            close(fd);
        }
        if (fault != "closed")
            close(out[0]);
        QVERIFY2(sim.waitForFinished(5000), "still running");
        QVERIFY(sim.exitStatus() == QProcess::NormalExit && sim.exitCode() == 1);
        QVERIFY(sim.readAllStandardError().startsWith("projector-sim: "));
    }

    void unreadRepliesHoldInputBack()
    {
        Sim sim({});
        const QByteArray queries = QByteArray("CR6\r").repeated(1024);
        qint64 taken = 0;
        // The line is judged full when it takes nothing for a second.
        for (pollfd pfd{sim.fd, POLLOUT, 0}; taken < 16 << 20 && poll(&pfd, 1, 1000) == 1;)
            taken += std::max<ssize_t>(0, write(sim.fd, queries.constData(), size_t(queries.size())));
        QVERIFY2(taken < 1 << 20, qPrintable(QString::number(taken)));
        const qsizetype owed = taken / 4 * 18;
        QCOMPARE(sim.receive(owed).size(), owed);
    }

    void oneTcpClientAtATime()
    {
        Sim sim({"--tcp", "127.0.0.1:0", "--warmup", "100", "--hangup-after", "3"});
        QVERIFY2(QRegularExpression("^tcp://127\\.0\\.0\\.1:[1-9]\\d*$").match(sim.device).hasMatch(),
                 qPrintable(sim.device));
        QCOMPARE(sim.send("C00\r", 1), QByteArray("\x06"));
        const int next = connectTo(sim.device);
        QVERIFY(write(next, "CR0\r", 4) == 4);
        QCOMPARE(sim.send("CR1\r", 2), QByteArray("1\r"));
        pollfd pfd{next, POLLIN, 0};
        QCOMPARE(poll(&pfd, 1, 0), 0); // not served while the first is
        close(sim.fd);
        sim.fd = next;
        QCOMPARE(sim.receive(3), QByteArray("40\r")); // the power-on kept
        QVERIFY(sim.proc.waitForFinished(5000) && sim.proc.exitCode() == 0);
        QCOMPARE(read(sim.fd, &pfd, 1), 0); // hung up after the third frame
    }

    void idleClientCostsNothing()
    {
        Sim sim({"--tcp", "127.0.0.1:0"});
        QCOMPARE(sim.send("CR0\r", 3), QByteArray("80\r"));
        const auto onCpu = [&sim] { // ns, from the scheduler's own count
            QFile stat(QStringLiteral("/proc/%1/schedstat").arg(sim.proc.processId()));
            return stat.open(QIODevice::ReadOnly) ? stat.readAll().split(' ').value(0).toLongLong() : -1;
        };
        const qint64 before = onCpu();
        poll(nullptr, 0, 300); // a client that says nothing for a while
        QVERIFY2(onCpu() - before < 5'000'000, qPrintable(QString::number(onCpu() - before)));
    }

    void binaryOverPty()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath("frames.log"), link = dir.filePath("projector");
        Sim sim({"--log", log, "--link", link});
        QCOMPARE(QFile::symLinkTarget(link), sim.device);
        QCOMPARE(sim.send("CR0\r", 3), QByteArray("80\r"));
        QCOMPARE(sim.send("C00\r", 1), QByteArray("\x06"));
        QCOMPARE(sim.send("ZZ\r", 2), QByteArray("?\r"));
        QCOMPARE(sim.send("\x01\\\xff\r", 2), QByteArray("?\r"));
        sim.proc.terminate();
        QVERIFY(sim.proc.waitForFinished(5000) && sim.proc.exitStatus() == QProcess::NormalExit
                && sim.proc.exitCode() == 0);
        QVERIFY(!QFileInfo(link).isSymLink());
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QString frames = QString::fromLatin1(f.readAll());
        frames.replace(QRegularExpression("^\\d+ ", QRegularExpression::MultilineOption), "");
        QCOMPARE(frames, QString("CR0\\r\nC00\\r\nZZ\\r\n\\x01\\\\\\xFF\\r\n"));

        Sim hup({"--hangup-after", "2", "--link", link});
        QCOMPARE(hup.send("CR1\r", 2), QByteArray("1\r"));
        QCOMPARE(hup.send("C05\r", 1, 200), QByteArray("\x06")); // the sim waits for it to be read
        QVERIFY(hup.proc.waitForFinished(5000) && hup.proc.exitCode() == 0);
        pollfd pfd{hup.fd, POLLIN, 0};
        QVERIFY(poll(&pfd, 1, 5000) == 1 && (pfd.revents & POLLHUP));
        QVERIFY(!QFileInfo(link).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestProjectorSim)
#include "tst_projector_sim.moc"
