#include "options.h"
#include "outbox.h"
#include "projector.h"
#include "schedule.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <numeric>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace projsim;

Q_DECLARE_METATYPE(Options)
Q_DECLARE_METATYPE(LoopState)
Q_DECLARE_METATYPE(Wait)

namespace {

constexpr QByteArrayView kPortInUse = "Port already in use\r\n";

QByteArray ask(Projector &p, const QByteArray &bytes, Millis now = 0)
{
    QByteArray out;
    for (const Exchange &ex : p.receive(bytes.toStdString(), now))
        out += QByteArray::fromStdString(ex.reply);
    return out;
}

// Until `want` bytes, the end, or five seconds of quiet.
QByteArray receive(int fd, qsizetype want)
{
    QByteArray got;
    char buf[4096];
    ssize_t n = 0;
    for (pollfd pfd{fd, POLLIN, 0}; got.size() < want && poll(&pfd, 1, 5000) > 0
         && (n = read(fd, buf, size_t(std::min<qsizetype>(want - got.size(), sizeof buf)))) > 0;)
        got.append(buf, n);
    return got;
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
        return receive(fd, want);
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
        // clang-format off
        QTest::newRow("straddling reads") << QByteArrayList{"C07\rCR1\rC05\rC", "R1\rCR"} << QByteArray("\x06" "3\r\x06" "1\r");
        // clang-format on
        QTest::newRow("lamp hours, reversal") << QByteArrayList{"CR3\rCR4\r"} << QByteArray("1234\r11\r");
        // Where the panel reads them: characters 1-5, 8-11 and 13-17.
        QTest::newRow("temperatures") << QByteArrayList{"CR6\r"} << QByteArray("+25.0 +30.9 +27.5\r");
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

    void loopWaits_data()
    {
        // Made up at time 0.
        QTest::addColumn<LoopState>("state");
        QTest::addColumn<Wait>("wait");
        const auto row = [](const char *name, LoopState s, Wait w) { QTest::newRow(name) << s << w; };
        row("idle", {}, {{}, true, false});
        row("reply held back", {.replyDue = 250}, {250, true, false});
        row("noise byte first", {.replyDue = 250, .noise = true, .noiseNext = 30}, {30, true, false});
        row("reply first", {.replyDue = 20, .noise = true, .noiseNext = 30}, {20, true, false});
        row("flood goes on at once", {.noise = true}, {0, true, false});
        row("flood behind unwritten replies", {.unwritten = true, .noise = true}, {{}, true, true});
        row("blocked noise waits for room", {.noise = true, .noiseBlocked = true, .noiseNext = 30}, {{}, true, true});
        row("noise done while blocked", {.noiseBlocked = true}, {{}, true, false});
        row("full, input held back", {.full = true, .unwritten = true}, {{}, false, true});
        row("no client, no noise", {.client = false, .noise = true, .noiseBlocked = true}, {{}, true, false});
        row("closing, input left", {.closing = true, .noise = true, .noiseNext = 5}, {10, false, false});
        row("closing, reply sooner", {.closing = true, .replyDue = 4}, {4, false, false});
    }
    void loopWaits()
    {
        QFETCH(LoopState, state);
        QTEST(nextWait(state), "wait");
    }

    void hangsUpOnceRead_data()
    {
        // The last write at 0.
        QTest::addColumn<LoopState>("state");
        QTest::addColumn<bool>("ready");
        const auto row = [](const char *name, LoopState s, bool ready) { QTest::newRow(name) << s << ready; };
        row("client gone", {.client = false, .replyDue = 5}, true);
        row("reply held back", {.now = 5000, .replyDue = 5100}, false);
        row("unwritten", {.now = 999, .unwritten = true}, false);
        row("unread", {.now = 999, .unread = 1}, false);
        row("read, settling", {.now = 49}, false);
        row("read and settled", {.now = 50}, true);
        row("never read", {.now = 1000, .unwritten = true, .unread = 9}, true);
    }
    void hangsUpOnceRead()
    {
        QFETCH(LoopState, state);
        QTEST(readyToHangUp(state), "ready");
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<Options>("options");
        QTest::addColumn<QString>("said"); // how a refusal starts; none when it runs
        const auto runs = [](const char *row, const QStringList &args, const Options &o) {
            QTest::newRow(row) << args << o << QString();
        };
        const auto refused = [](const char *row, const QStringList &args, const QString &said) {
            QTest::newRow(row) << args << Options{} << said;
        };
        runs("defaults", {}, {});
        runs("seconds, fractions", {"--warmup", "0.25", "--cooldown=3", "--pm-idle", "0"},
             {.projector = {.warmupMs = 250, .cooldownMs = 3000, .pmIdleMs = 0}});
        runs("hours, reversal", {"--hours", "9999", "--reversal", "00"},
             {.projector = {.startHours = 9999, .reversal = "00"}});
        runs("gap implies split", {"--split-gap=5", "--silent", "--delay", "1e9"},
             {.outbox = {.silent = true, .delayMs = 1'000'000'000, .split = true, .splitGapMs = 5}});
        runs("noise at line rate", {"--noise", "line", "--noise-bytes", "0"}, {.noiseRate = 1920, .noiseBytes = 0});
        runs("noise flat out", {"--noise=max", "--split"}, {.outbox = {.split = true}, .noiseRate = 0});
        runs("slowest noise, last hangup", {"--noise", "1e-3", "--hangup-after", "1e15"},
             {.noiseRate = 1e-3, .hangupAfter = 1'000'000'000'000'000});
        runs("paths", {"--link", "l", "--log=f"}, {.link = "l", .logPath = "f"});
        runs("tcp", {"--tcp", "127.1.2.3:65535"}, {.tcp = Loopback{0x7f010203, 65535}});
        refused("unknown", {"--help=1"}, "unknown option: --help=1");
        refused("value missing", {"--delay"}, "--delay needs a value");
        refused("path empty", {"--log="}, "--log needs a path");
        refused("reversal", {"--reversal", "12"}, "--reversal takes 11, 10, 01 or 00");
        refused("noise slower than a time can hold", {"--noise", "1e-16"},
                "--noise takes 0.001 to 1000000, 'line' or 'max', not '1e-16'");
        refused("noise faster than a count can hold", {"--noise", "1e12"}, "--noise takes");
        refused("noise nan", {"--noise=nan"}, "--noise takes");
        refused("warmup past a time", {"--warmup", "1e12"}, "--warmup takes 0 to 1000000, not '1e12'");
        refused("cooldown infinite", {"--cooldown", "inf"}, "--cooldown takes");
        refused("trailing junk", {"--pm-idle", "3s"}, "--pm-idle takes");
        refused("delay negative", {"--delay", "-1"}, "--delay takes a whole number, 0 to 1000000000, not '-1'");
        refused("hours past four digits", {"--hours", "10000"}, "--hours takes");
        refused("hours a fraction", {"--hours", "1.5"}, "--hours takes");
        refused("noise bytes past a count", {"--noise", "max", "--noise-bytes", "1e20"}, "--noise-bytes takes");
        refused("noise bytes, no noise", {"--noise-bytes", "5"}, "--noise-bytes needs --noise");
        refused("hangup after nothing", {"--hangup-after", "0"}, "--hangup-after takes a whole number, 1 to");
        refused("tcp off the loopback", {"--tcp", "0.0.0.0:0"}, "--tcp takes a loopback address");
        refused("tcp port past 16 bits", {"--tcp", "127.0.0.1:65536"}, "--tcp takes");
        refused("tcp no port", {"--tcp", "127.0.0.1"}, "--tcp takes");
        refused("tcp with a link", {"--tcp", "127.0.0.1:0", "--link", "x"}, "--link names a device, and --tcp");
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(Options, options);
        QFETCH(QString, said);
        std::vector<std::string> argv;
        for (const QString &a : args)
            argv.push_back(a.toStdString());
        const CommandLine cl = parseCommandLine(argv);
        QVERIFY2(said.isEmpty() ? !cl.error && !cl.help && cl.options == options
                                : cl.error.value_or("").starts_with(said.toStdString()),
                 cl.error.value_or("").c_str());
    }

    void processExits_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("reader"); // of stdout: "reads" it, is "gone" before, "leaves" it unread
        QTest::addColumn<int>("status");
        QTest::newRow("help") << QStringList{"-h"} << "reads" << 0;
        QTest::newRow("bad value, usage") << QStringList{"--delay", "-1"} << "reads" << 2;
        QTest::newRow("stdout closed") << QStringList{} << "gone" << 1;
        QTest::newRow("stdout left unread") << QStringList{} << "leaves" << 1;
        QTest::newRow("log on a full disk") << QStringList{"--log", "/dev/full"} << "reads" << 1;
    }
    void processExits()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, reader);
        QFETCH(int, status);
        int out[2];
        QVERIFY(pipe2(out, O_CLOEXEC) == 0);
        if (reader == "gone")
            close(out[0]);
        QProcess sim;
        sim.setChildProcessModifier([&] { dup2(out[1], STDOUT_FILENO); });
        sim.start(QStringLiteral(PROJECTOR_SIM), args);
        QVERIFY(sim.waitForStarted(5000));
        close(out[1]);
        pollfd pfd{out[0], POLLIN, 0};
        char said[4096] = {};
        QVERIFY(reader == "gone" || poll(&pfd, 1, 5000) == 1);
        if (reader == "reads" && read(out[0], said, sizeof said - 1) > 0) {
            const int fd = open(QByteArray(said).trimmed().constData(), O_RDWR | O_NOCTTY);
            QVERIFY(fd < 0 || write(fd, "C00\r", 4) == 4); // a frame it cannot log
            close(fd);
        }
        if (reader != "gone")
            close(out[0]);
        QVERIFY2(sim.waitForFinished(5000), "still running");
        QVERIFY(sim.exitStatus() == QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), status);
        const QByteArray err = sim.readAllStandardError();
        QVERIFY2(status == 0 ? err.isEmpty() && QByteArray(said).startsWith("usage: projector-sim")
                             : err.startsWith("projector-sim: ") && err.contains("\nusage: ") == (status == 2),
                 err.constData());
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
        QCOMPARE(receive(sim.fd, owed).size(), owed);
    }

    void tcpServesOneClientTurningOthersAway()
    {
        Sim sim({"--tcp", "127.0.0.1:0", "--warmup", "100", "--hangup-after", "3"});
        const auto pid = pid_t(sim.proc.processId());
        QCOMPARE(sim.send("C00\r", 1), QByteArray("\x06"));
        kill(pid, SIGSTOP); // so that both wait, the C07 sent, before it looks
        const int quiet = connectTo(sim.device), talker = connectTo(sim.device);
        QVERIFY(write(talker, "C07\r", 4) == 4);
        kill(pid, SIGCONT);
        char end = 0;
        for (pollfd pfd : {pollfd{quiet, POLLIN, 0}, pollfd{talker, POLLIN, 0}}) // the line, then an end, no reset
            QVERIFY(receive(pfd.fd, kPortInUse.size()) == kPortInUse && poll(&pfd, 1, 5000) == 1
                    && read(pfd.fd, &end, 1) == 0);
        QCOMPARE(sim.send("CR1\r", 2), QByteArray("1\r")); // the C07 never came
        kill(pid, SIGSTOP);                                // the next one waiting as the first leaves
        close(sim.fd);
        sim.fd = connectTo(sim.device);
        kill(pid, SIGCONT);
        QCOMPARE(sim.send("CR0\r", 3), QByteArray("40\r")); // served, the power-on kept
        QVERIFY(sim.proc.waitForFinished(5000) && sim.proc.exitCode() == 0);
        QCOMPARE(read(sim.fd, &end, 1), 0); // hung up after the third frame
        close(quiet), close(talker);
    }

    void overPtyLoggedAndLinked()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath("frames.log"), link = dir.filePath("projector");
        Sim sim({"--log", log, "--link", link, "--hangup-after", "2"});
        QCOMPARE(QFile::symLinkTarget(link), sim.device);
        QCOMPARE(sim.send("CR1\r", 2), QByteArray("1\r"));
        QCOMPARE(sim.send("\x01\\\xff\r", 2, 200), QByteArray("?\r")); // the sim waits for it to be read
        QVERIFY(sim.proc.waitForFinished(5000) && sim.proc.exitCode() == 0);
        pollfd pfd{sim.fd, POLLIN, 0};
        QVERIFY(poll(&pfd, 1, 5000) == 1 && (pfd.revents & POLLHUP));
        QVERIFY(!QFileInfo(link).isSymLink());
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QString frames = QString::fromLatin1(f.readAll());
        frames.replace(QRegularExpression("^\\d+ ", QRegularExpression::MultilineOption), "");
        QCOMPARE(frames, QString("CR1\\r\n\\x01\\\\\\xFF\\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestProjectorSim)
#include "tst_projector_sim.moc"
