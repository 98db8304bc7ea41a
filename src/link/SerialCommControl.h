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

    bool portOpen() const override;
    QByteArray input() override;

private:
    CommError openPort() override;
    void closePort() override;
    CommError applySettings() override;
    CommError write(const QByteArray &bytes) override;
    CommError openingFailure(const QString &device) const;
    void handleError(int error);

    QSerialPort *m_port = nullptr;
};
