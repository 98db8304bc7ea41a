#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the UI thread, so that a program killed,
// logged out or stopped with Ctrl+C ends as its own end command does and releases the port.
// The handler only writes the signal's number down a pipe; Qt is called from the event loop.
// One instance at a time. Where there are no such signals it never fires.
class TerminationSignals final : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
};
