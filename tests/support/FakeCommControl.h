#pragma once

#include "link/CommControl.h"

#include <QByteArrayList>

// A serial control for tests: it records every write, delivers chosen chunks as received
// data, and fails opening or writing with a given message when told to.
class FakeCommControl final : public CommControl
{
    Q_OBJECT

public:
    using CommControl::CommControl;

    bool portOpen() const override { return m_open; }
    QByteArray input() override;

    // Makes the port's data arrive, raising the event the real port would, or another.
    void receive(const QByteArray &bytes, CommEvent event = CommEvent::Receive);
    // The device vanishes: the port closes itself, as the real control does.
    void loseDevice();

    // Opening port n fails with this message; an empty message lets it open again.
    void failOpening(int port, const QString &message) { m_openFailure[port] = message; }
    void failWriting(const QString &message) { m_writeFailure = message; }

    QByteArrayList writes; // one entry a write, in order
    int opens = 0;         // successful openings

private:
    CommError openPort() override;
    void closePort() override { m_open = false; }
    CommError applySettings() override { return std::nullopt; }
    CommError write(const QByteArray &bytes) override;

    bool m_open = false;
    QByteArray m_waiting;
    QString m_openFailure[3];
    QString m_writeFailure;
};
