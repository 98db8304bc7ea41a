#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

// The serial service's own message for a failed operation; empty when it succeeded.
using CommError = std::optional<QString>;

// What raised onComm. Only Receive matters to the panel; the rest are told apart so that
// nothing that happens on the line is mistaken for received data.
enum class CommEvent : qint16 { None = 0, Receive = 2, Error = 1001, DeviceLost = 1002 };

// The serial port as the panel uses it: a port number, line settings, open and close, write,
// read, and one notification for everything that happens on the line. It knows nothing of
// commands or replies.
class CommControl : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Selects the port (1 or 2) that the next opening uses; refused while the port is open.
    [[nodiscard]] virtual CommError setCommPort(int port) = 0;
    virtual int commPort() const = 0;

    // "19200,N,8,1" and the like; applied at once to an open port, which stays open.
    [[nodiscard]] virtual CommError setSettings(const QString &settings) = 0;
    virtual QString settings() const = 0;

    virtual bool portOpen() const = 0;
    // Closing a closed port is not a failure.
    [[nodiscard]] virtual CommError setPortOpen(bool open) = 0;

    // Puts the bytes on the line as they are, at once.
    [[nodiscard]] virtual CommError setOutput(const QByteArray &bytes) = 0;
    // Everything received and waiting; taking it empties the wait.
    virtual QByteArray input() = 0;

    virtual CommEvent commEvent() const = 0;

protected:
    // The refusals every control makes alike: a port chosen while open or not a port at all,
    // settings that do not parse.
    static CommError refusePortChoice(bool open, int port);
    static CommError refuseSettings(const QString &settings);

Q_SIGNALS:
    // Raised on the UI thread whenever something happens on the line: with commEvent() Receive
    // as soon as one byte waits, Error for trouble on an open line, DeviceLost when the device
    // went away and the port closed itself.
    void onComm();
};
