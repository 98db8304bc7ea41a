#pragma once

#include "SendOptions.h"
#include "link/Timer.h"

#include <QObject>
#include <QTextStream>

#include <functional>
#include <memory>
#include <vector>

class CommControl;

namespace send {

// The names sent to every device of a request at once, each on a transfer of its own, in one
// event loop; the outcomes printed as they come, a device's failure on the error stream. A
// device that fails never stops the others. With several devices each line starts with the
// device and a tab, and each JSON object carries it as "port".
class Run final : public QObject
{
    Q_OBJECT

public:
    using CommFactory = std::function<std::unique_ptr<CommControl>()>;

    Run(Request request, QTextStream &out, QTextStream &err, TimerFactory makeTimer, CommFactory makeComm,
        QObject *parent = nullptr);
    ~Run() override;

    // Opens every device; an opening that takes time runs beside the others.
    void start();
    // Closes every port at once, pending openings included; nothing more is printed and
    // finished never comes.
    void stop();

Q_SIGNALS:
    // Every device done: the worst exit status over them.
    void finished(int status);

private:
    struct Port;
    void opened(Port &port, const CommError &failure);
    void print(const Port &port, const NameSender::Outcome &outcome);
    void end(Port &port, Exit status, const CommError &failure = std::nullopt);

    Request m_request;
    QTextStream &m_out;
    QTextStream &m_err;
    TimerFactory m_makeTimer;
    CommFactory m_makeComm;
    std::vector<std::unique_ptr<Port>> m_ports;
    bool m_stopped = false;
};

} // namespace send
