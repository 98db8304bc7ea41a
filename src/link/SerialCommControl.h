#pragma once

#include "CommControl.h"

class QSerialPort;

// The panel's serial port over QSerialPort. One place maps the port's errors to what the
// panel sees: failed operations return the port's message (or, for a device that is held or
// not permitted, what to do about it), trouble on an open line raises onComm with an event
// other than Receive.
class SerialCommControl final : public CommControl
{
    Q_OBJECT

public:
    explicit SerialCommControl(QObject *parent = nullptr);
    ~SerialCommControl() override;

    CommError setCommPort(int port) override;
    int commPort() const override { return m_commPort; }
    CommError setSettings(const QString &settings) override;
    QString settings() const override { return m_settings; }
    bool portOpen() const override;
    CommError setPortOpen(bool open) override;
    CommError setOutput(const QByteArray &bytes) override;
    QByteArray input() override;
    CommEvent commEvent() const override { return m_event; }

private:
    CommError applySettings();
    CommError openingFailure(const QString &device) const;
    void handleError(int error);
    void raise(CommEvent event);

    QSerialPort *m_port = nullptr;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    CommEvent m_event = CommEvent::None;
};
