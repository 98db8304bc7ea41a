#include "simulator.h"

#include "report.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <iterator>

#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace projsim {

namespace {

volatile std::sig_atomic_t stopRequested = 0;
extern "C" void onStopSignal(int) { stopRequested = 1; }

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// What a gateway tells a connection while the port has its client.
constexpr std::string_view kPortInUse = "Port already in use\r\n";

// Bytes written, 0 when the terminal is full, -1 on a real error.
ssize_t writeSome(int fd, std::string_view data)
{
    for (;;) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return -1;
    }
}

// A connection that went before it was taken is no failure.
bool acceptMissed()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED;
}

} // namespace

void blockStopSignals()
{
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int s : kStopSignals) {
        sigaction(s, &sa, nullptr);
        sigaddset(&stopSignals, s);
    }
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
}

Simulator::Simulator(const Options &o, Line line, std::FILE *log)
    : o_(o), line_(std::move(line)), log_(log), projector_(o.projector), outbox_(o.outbox),
      start_(std::chrono::steady_clock::now())
{
    if (o.noiseRate)
        noise_.emplace(*o.noiseRate, o.noiseBytes, 0);
}

Millis Simulator::now() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_)
        .count();
}

LoopState Simulator::state(Millis t) const
{
    LoopState s{.now = t,
                .client = line_.io >= 0,
                .closing = closing_,
                .full = out_.size() + outbox_.bytes() >= kMaxOwedBytes,
                .unwritten = !out_.empty(),
                .replyDue = outbox_.nextDue(),
                .noise = noise_ && !noise_->done(),
                .noiseBlocked = noiseBlocked_,
                .noiseNext = noise_ ? noise_->nextAt() : std::nullopt,
                .lastWrite = lastWrite_};
    // On TCP, not yet acknowledged: then it is the client's to read.
    if (closing_ && s.client)
        ioctl(line_.tcp() ? line_.io : line_.slave, line_.tcp() ? SIOCOUTQ : TIOCINQ, &s.unread);
    return s;
}

bool Simulator::accept()
{
    line_.io = accept4(line_.listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (line_.io < 0)
        return acceptMissed() || complain("accept");
    // Split replies must leave a byte at a time, not wait for an ACK to fill up.
    const int on = 1;
    setsockopt(line_.io, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    noiseBlocked_ = true; // the noise picks up at its pace, without a burst for the time nobody was there
    return true;
}

// As a gateway does: the port has its client, so another is told and let go at
// once. What it sent is read and dropped, so that the close ends it cleanly
// rather than with a reset.
bool Simulator::turnAway()
{
    const int fd = accept4(line_.listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return acceptMissed() || complain("accept");
    char discard[4096];
    writeSome(fd, kPortInUse); // a new connection has room for it
    [[maybe_unused]] const ssize_t n = read(fd, discard, sizeof discard);
    close(fd);
    return true;
}

// The projector stays as it is, half a frame included, as behind a gateway;
// replies owed to the client that left are lost with it.
void Simulator::dropClient()
{
    close(line_.io);
    line_.io = -1;
    out_.clear();
    outbox_ = Outbox(o_.outbox);
}

// Bytes written, 0 when the line is full or the client has just left, -1 on
// a real error.
ssize_t Simulator::writeOut(std::string_view data)
{
    const ssize_t n = writeSome(line_.io, data);
    if (n < 0 && line_.tcp() && (errno == EPIPE || errno == ECONNRESET)) {
        dropClient();
        return 0;
    }
    return n;
}

bool Simulator::readInput()
{
    char buf[4096];
    const ssize_t n = read(line_.io, buf, sizeof buf);
    if ((n == 0 || (n < 0 && errno == ECONNRESET)) && line_.tcp()) {
        dropClient();
        return true;
    }
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || complain("read");
    if (n == 0) {
        errno = EIO; // the simulator holds the other end, so this is no hangup
        return complain("read");
    }
    const Millis t = now();
    for (const Exchange &ex : projector_.receive(std::string_view(buf, static_cast<std::size_t>(n)), t)) {
        // A frame that cannot be logged is not answered: the log is the witness.
        if (log_ && !logFrame(ex, t))
            return complain("cannot write " + o_.logPath);
        outbox_.post(ex.reply, t);
        if (o_.hangupAfter && ++frames_ >= *o_.hangupAfter) {
            closing_ = true;
            lastWrite_ = t;
            break;
        }
    }
    return true;
}

bool Simulator::logFrame(const Exchange &ex, Millis t)
{
    std::fprintf(log_, "%lld %s", static_cast<long long>(t), escapeFrame(ex.frame).c_str());
    if (ex.dropped)
        std::fprintf(log_, " [+%zu bytes]", ex.dropped);
    std::fputc('\n', log_);
    return std::fflush(log_) == 0 && !std::ferror(log_);
}

bool Simulator::flush(Millis t)
{
    while (!out_.empty()) {
        const ssize_t n = writeOut(out_);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        out_.erase(0, static_cast<std::size_t>(n));
        lastWrite_ = t;
    }
    return true;
}

bool Simulator::sendNoise(Millis t)
{
    if (!noise_ || noise_->done() || line_.io < 0)
        return true;
    if (noiseBlocked_)
        noise_->resume(t);
    noiseBlocked_ = false;
    // Paced noise goes a byte per write, as a real line delivers it; unpaced
    // in big chunks, but never so long that input waits.
    const std::uint64_t chunk = noise_->paced() ? 1 : 4096;
    for (int rounds = 0; rounds < 64; ++rounds) {
        const std::uint64_t n = noise_->ready(t, chunk);
        if (n == 0)
            break;
        const ssize_t w = writeOut(noise_->peek(n));
        if (w < 0)
            return false;
        noise_->commit(static_cast<std::uint64_t>(w));
        if (static_cast<std::uint64_t>(w) < n) {
            noiseBlocked_ = true;
            break;
        }
    }
    return true;
}

bool Simulator::stdoutUnread()
{
    int unread = 0;
    ioctl(watchedStdout_, FIONREAD, &unread);
    watchedStdout_ = -1; // read and closed is fine: the line was all it was for
    errno = EPIPE;
    return unread > 0;
}

void Simulator::hangUp()
{
    for (int *fd : {&line_.io, &line_.slave, &line_.listener}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

int Simulator::run()
{
    sigset_t waitMask;
    sigprocmask(SIG_SETMASK, nullptr, &waitMask);
    for (int s : kStopSignals)
        sigdelset(&waitMask, s);
    if (struct stat st{}; fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode))
        watchedStdout_ = STDOUT_FILENO;

    while (!stopRequested) {
        const Millis t = now();
        out_ += outbox_.takeDue(t);
        if (!flush(t) || (out_.empty() && !closing_ && !sendNoise(t))) {
            complain("write");
            return 1;
        }
        const LoopState s = state(t);
        if (closing_ && readyToHangUp(s))
            break;

        const Wait w = nextWait(s);
        const bool serving = s.client;
        pollfd fds[] = {
            {serving ? line_.io : line_.listener,
             static_cast<short>((w.read ? POLLIN : 0) | (w.write ? POLLOUT : 0)), 0},
            {watchedStdout_, 0, 0},                     // only a closed reader reports
            {serving ? line_.listener : -1, POLLIN, 0}, // another client, to turn away
        };
        timespec ts{};
        if (w.until) {
            const Millis ms = std::max<Millis>(0, *w.until - t);
            ts.tv_sec = ms / 1000;
            ts.tv_nsec = (ms % 1000) * 1'000'000;
        }
        const int r = ppoll(fds, std::size(fds), w.until ? &ts : nullptr, &waitMask);
        if (r < 0 && errno != EINTR) {
            complain("poll");
            return 1;
        }
        const short revents = fds[0].revents;
        if (r > 0 && !serving) {
            if ((revents & POLLIN) && !accept())
                return 1;
        } else if (r > 0 && (revents & POLLIN)) {
            if (!readInput())
                return 1;
        } else if (r > 0 && (revents & (POLLERR | POLLHUP)) && line_.tcp()) {
            dropClient(); // reset while its input was not wanted
        }
        // Not when the client has just left: the next one is served.
        if (r > 0 && (fds[2].revents & POLLIN) && line_.io >= 0 && !turnAway())
            return 1;
        if (r > 0 && fds[1].revents && stdoutUnread()) {
            complain("nobody read the device from standard output");
            return 1;
        }
    }
    hangUp();
    return 0;
}

} // namespace projsim
