#include "line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace projsim {

namespace {

void makeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return;
    cfmakeraw(&t);
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    tcsetattr(fd, TCSANOW, &t);
}

} // namespace

std::optional<Line> openPty()
{
    Line p;
    p.io = posix_openpt(O_RDWR | O_NOCTTY);
    if (p.io < 0 || grantpt(p.io) != 0 || unlockpt(p.io) != 0)
        return std::nullopt;
    const char *name = ptsname(p.io);
    if (!name)
        return std::nullopt;
    p.name = name;
    // Held open so the master never sees a hangup while the panel is away.
    p.slave = open(name, O_RDWR | O_NOCTTY);
    if (p.slave < 0)
        return std::nullopt;
    makeRaw(p.slave);
    makeRaw(p.io);
    fcntl(p.io, F_SETFL, fcntl(p.io, F_GETFL) | O_NONBLOCK);
    return p;
}

std::optional<Line> listenTcp(const Loopback &at)
{
    constexpr int kWaitingClients = 4; // more are held off by the kernel's retries
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(at.address);
    address.sin_port = htons(at.port);
    Line l;
    l.listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    if (l.listener < 0 || setsockopt(l.listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || bind(l.listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || listen(l.listener, kWaitingClients) != 0
        || getsockname(l.listener, reinterpret_cast<sockaddr *>(&bound), &size) != 0)
        return std::nullopt;
    char host[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &bound.sin_addr, host, sizeof host);
    l.name = "tcp://" + std::string(host) + ':' + std::to_string(ntohs(bound.sin_port));
    return l;
}

bool makeLink(const std::string &link, const std::string &target)
{
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "projector-sim: %s exists and is not a link\n", link.c_str());
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "projector-sim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

void removeLink(const std::string &link, const std::string &target)
{
    char buf[512];
    const ssize_t n = readlink(link.c_str(), buf, sizeof buf);
    if (n >= 0 && std::string_view(buf, static_cast<std::size_t>(n)) == target)
        unlink(link.c_str());
}

} // namespace projsim
