#include "Pty.h"

#include <QDeadlineTimer>
#include <QTest>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

Pty::Pty()
{
    int near = -1;
    char name[256] = {};
    if (openpty(&far, &near, name, nullptr, nullptr) != 0)
        return;
    path = QString::fromLocal8Bit(name);
    ::close(near);
    fcntl(far, F_SETFL, fcntl(far, F_GETFL) | O_NONBLOCK);
}

void Pty::closeFar()
{
    if (far >= 0)
        ::close(far);
    far = -1;
}

QByteArray Pty::readFar(qsizetype expected) const
{
    QByteArray got;
    QDeadlineTimer deadline(5000);
    while (got.size() < expected && !deadline.hasExpired()) {
        char buffer[512];
        const ssize_t n = ::read(far, buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, n);
        else
            QTest::qWait(5);
    }
    return got;
}

termios Pty::attributes() const
{
    termios t{};
    tcgetattr(far, &t);
    return t;
}
