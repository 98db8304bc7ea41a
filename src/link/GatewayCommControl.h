#pragma once

#include "CommControl.h"
#include "Timer.h"

#include <QAbstractSocket>

#include <chrono>

class QTcpSocket;

// A port carried over a TCP connection to a serial-to-network gateway: what every kind of
// gateway shares. Opening looks up the host and connects in the background, and ends, within
// kOpenTimeout of its start, once the kind says the far port is ready. A gateway that hangs up
// before then (a busy one, after its "Port already in use") fails the opening with what it said;
// a connection that drops once open is a lost device. A kind adds what travels on the
// connection besides the port's bytes.
class GatewayCommControl : public CommControl
{
    Q_OBJECT

public:
    // From the start of the opening, name lookup included, until the far port is ready.
    static constexpr std::chrono::milliseconds kOpenTimeout{5000};

    ~GatewayCommControl() override;

    bool portOpen() const override { return m_stage == Stage::Open; }
    bool portOpening() const override { return m_stage == Stage::Connecting || m_stage == Stage::Settling; }
    QByteArray input() override;

protected:
    GatewayCommControl(const TimerFactory &makeTimer, QObject *parent);

    // The connection is up: starts whatever the far port needs, which ends with ready() or,
    // when it is ready once the connection has stayed up a while, readyAfter().
    virtual void connected() = 0;
    // What the far end sent, taken apart: the port's bytes, and what it is owed in answer.
    struct Unwrapped
    {
        QByteArray data;
        QByteArray answer;
    };
    virtual Unwrapped unwrap(QByteArrayView bytes) = 0;
    // The port's bytes as the connection carries them.
    virtual QByteArray wrap(QByteArrayView data) const = 0;
    // Why the opening failed when the time-out passes after the connection came up.
    virtual QString notReady() const { return tr("Connection timed out"); }

    // Ends an opening under way; a later word changes nothing.
    void ready(const CommError &failure = std::nullopt);
    void readyAfter(std::chrono::milliseconds quiet);
    bool connectionUp() const { return m_stage == Stage::Settling || m_stage == Stage::Open; }
    [[nodiscard]] CommError put(QByteArrayView bytes);

private:
    enum class Stage : quint8 { Closed, Connecting, Settling, Open };

    CommError openPort() final;
    void closePort() final;
    CommError write(const QByteArray &bytes) final { return put(wrap(bytes)); }
    void socketConnected();
    void received();
    void connectionEnded();
    void timeUp();
    void handleError(QAbstractSocket::SocketError error);
    void finish(const CommError &failure);

    QTcpSocket *m_socket = nullptr;
    Timer *m_deadline = nullptr;
    Stage m_stage = Stage::Closed;
    bool m_readyWhenTimeUp = false;
    bool m_inOpenPort = false;
    CommError m_failedAtOnce; // a failure met before openPort returned, which returns it
    QByteArray m_input;       // the port's bytes not yet taken
};
