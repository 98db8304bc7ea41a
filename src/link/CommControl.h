#pragma once

#include "LineFormat.h"

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
//
// The rules every control keeps alike are here: which port and settings it takes and when, the
// refusal of a write while closed, and the raising of onComm. A control adds only how its
// device opens, closes, takes settings, writes and reads.
class CommControl : public QObject
{
    Q_OBJECT

public:
    explicit CommControl(QObject *parent = nullptr);

    // Selects the port (1 or 2) that the next opening uses; refused while the port is open or
    // opening.
    [[nodiscard]] CommError setCommPort(int port);
    int commPort() const { return m_commPort; }

    // "19200,N,8,1" and the like; applied at once to an open port, which stays open, and to one
    // that is opening.
    [[nodiscard]] CommError setSettings(const QString &settings);
    QString settings() const { return m_settings; }
    // The settings taken apart, as a device applies them.
    const LineFormat &lineFormat() const { return m_lineFormat; }

    virtual bool portOpen() const = 0;
    // Closing a closed port is not a failure. A device that connects in the background returns
    // from opening with no failure, portOpen() false and portOpening() true; openFinished then
    // says how the opening ended, always from the event loop. Opening again while it is under
    // way changes nothing; closing abandons it, and nothing of it is heard after.
    [[nodiscard]] CommError setPortOpen(bool open);
    virtual bool portOpening() const { return false; }

    // Puts the bytes on the line as they are, at once; refused unless the port is open.
    [[nodiscard]] CommError setOutput(const QByteArray &bytes);
    // Why a write would be refused now; empty while the port is open.
    [[nodiscard]] CommError writeRefusal() const;
    // Everything received and waiting; taking it empties the wait.
    virtual QByteArray input() = 0;

    CommEvent commEvent() const { return m_event; }

Q_SIGNALS:
    // Raised on the UI thread whenever something happens on the line: with commEvent() Receive
    // as soon as one byte waits, Error for trouble on an open line, DeviceLost when the device
    // went away and the port closed itself.
    void onComm();
    // An opening that was under way has ended: the port is open, or failure says why not.
    void openFinished(const CommError &failure);

protected:
    // Opens the device of commPort() with settings(); a failure leaves it closed.
    [[nodiscard]] virtual CommError openPort() = 0;
    virtual void closePort() = 0;
    // Applies settings() to the open port.
    [[nodiscard]] virtual CommError applySettings() = 0;
    // The bytes, whole, to the open port.
    [[nodiscard]] virtual CommError write(const QByteArray &bytes) = 0;

    void raise(CommEvent event);

    // The bytes, whole, to a device that would otherwise keep them for the event loop's next turn.
    template <typename Device>
    [[nodiscard]] static CommError writeNow(Device &device, QByteArrayView bytes)
    {
        if (device.write(bytes.data(), bytes.size()) != bytes.size())
            return device.errorString();
        device.flush();
        return std::nullopt;
    }

private:
    int m_commPort = 1;
    QString m_settings;
    LineFormat m_lineFormat;
    CommEvent m_event = CommEvent::None;
};
