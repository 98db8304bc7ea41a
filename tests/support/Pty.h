#pragma once

#include <QByteArray>
#include <QString>

#include <termios.h>

// A pseudo-terminal pair for a serial control to open by its path, as it would an adapter;
// the test holds the far end.
struct Pty
{
    int far = -1;
    QString path; // empty when none could be made

    Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;
    ~Pty() { closeFar(); }

    void closeFar();
    // What the control wrote, once expected bytes have come or five seconds have passed.
    QByteArray readFar(qsizetype expected) const;
    termios attributes() const;
};
