#pragma once

#include "link/CommControl.h"

#include <QByteArrayList>

// A serial control for tests: it records every write, delivers chosen chunks as received
// data, fails opening or writing with a given message when told to, and opens as a gateway
// does, in the background, when told to.
class FakeCommControl final : public CommControl
{
    Q_OBJECT

public:
    using CommControl::CommControl;

    bool portOpen() const override { return m_open; }
    bool portOpening() const override { return m_opening; }
    const char *openness() const { return m_open ? "open" : m_opening ? "opening" : "closed"; }
    QByteArray input() override;

    // Makes the port's data arrive, raising the event the real port would, or another.
    void receive(const QByteArray &bytes, CommEvent event = CommEvent::Receive);
    // The device vanishes: the port closes itself, as the real control does.
    void loseDevice();

    // Opening port n fails with this message; an empty message lets it open again.
    void failOpening(int port, const QString &message) { m_openFailure[port] = message; }
    void failWriting(const QString &message) { m_writeFailure = message; }
    // Opening port n is under way until finishOpening, which ends it as failOpening says.
    void delayOpening(int port, bool delayed = true) { m_delayed[port] = delayed; }
    void finishOpening();

    QByteArrayList writes; // one entry a write, in order
    int opens = 0;         // successful openings
    int attempts = 0;      // openings tried

private:
    CommError openPort() override;
    void closePort() override { m_open = m_opening = false; }
    CommError applySettings() override { return std::nullopt; }
    CommError write(const QByteArray &bytes) override;

    bool m_open = false;
    bool m_opening = false;
    QByteArray m_waiting;
    QString m_openFailure[3];
    bool m_delayed[3] = {};
    QString m_writeFailure;
};
