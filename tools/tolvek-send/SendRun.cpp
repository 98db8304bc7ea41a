#include "SendRun.h"

#include "link/PortNames.h"

#include <QJsonDocument>

#include <algorithm>

namespace send {

struct Run::Port
{
    int number = 0; // the device's port number, for the messages that name it
    QString device;
    std::unique_ptr<Transfer> transfer;
    std::unique_ptr<NameSender> sender;
    bool everyAnswered = true;
    std::optional<Exit> status; // set once the port is done
};

Run::Run(Request request, QTextStream &out, QTextStream &err, TimerFactory makeTimer, CommFactory makeComm,
         QObject *parent)
    : QObject(parent)
    , m_request(std::move(request))
    , m_out(out)
    , m_err(err)
    , m_makeTimer(std::move(makeTimer))
    , m_makeComm(std::move(makeComm))
{
}

Run::~Run()
{
    stop();
}

void Run::start()
{
    const MonitorTiming timing{m_request.timeout, std::max(m_request.timeout, vocabulary::kNormalTiming.monitorClear)};
    // Every port is numbered first: a port's messages name its device by its number.
    for (const QString &device : std::as_const(m_request.devices)) {
        auto port = std::make_unique<Port>();
        port->number = int(m_ports.size()) + 1;
        port->device = device;
        setPortDevice(port->number, device);
        m_ports.push_back(std::move(port));
    }
    for (const std::unique_ptr<Port> &owned : m_ports) {
        Port &port = *owned;
        port.transfer = std::make_unique<Transfer>(m_makeComm(), m_makeTimer, timing);
        port.sender = std::make_unique<NameSender>(*port.transfer);
        connect(port.sender.get(), &NameSender::answered, this, [this, &port](const NameSender::Outcome &outcome) {
            port.everyAnswered = port.everyAnswered && outcome.ok;
            print(port, outcome);
        });
        connect(port.sender.get(), &NameSender::finished, this, [this, &port](const CommError &failure) {
            end(port, failure ? Exit::PortFailed : port.everyAnswered ? Exit::Replied : Exit::NoReply, failure);
        });
        CommControl &comm = port.transfer->comm();
        CommError failure = comm.setCommPort(port.number);
        if (!failure)
            failure = comm.setSettings(m_request.settings);
        if (!failure)
            failure = comm.setPortOpen(true);
        if (!failure && !comm.portOpen())
            connect(
                &comm, &CommControl::openFinished, this, [this, &port](const CommError &f) { opened(port, f); },
                Qt::SingleShotConnection);
        else
            opened(port, failure);
    }
}

void Run::opened(Port &port, const CommError &failure)
{
    if (failure)
        return end(port, Exit::PortFailed, onPort(port.number, *failure));
    port.sender->start(m_request.names);
}

void Run::print(const Port &port, const NameSender::Outcome &outcome)
{
    if (m_stopped)
        return;
    const bool several = m_ports.size() > 1;
    if (m_request.json) {
        QJsonObject object = NameSender::json(outcome, m_request.wording);
        if (several)
            object.insert(QStringLiteral("port"), port.device);
        m_out << QJsonDocument(object).toJson(QJsonDocument::Compact) << Qt::endl;
        return;
    }
    if (several)
        m_out << port.device << '\t';
    m_out << NameSender::line(outcome, m_request.wording) << Qt::endl;
}

void Run::end(Port &port, Exit status, const CommError &failure)
{
    port.transfer->close();
    if (m_stopped || port.status)
        return;
    port.status = status;
    if (failure)
        m_err << kProgram << ": " << *failure << Qt::endl;
    if (!std::all_of(m_ports.begin(), m_ports.end(), [](const std::unique_ptr<Port> &p) { return p->status; }))
        return;
    Exit worst = Exit::Replied;
    for (const std::unique_ptr<Port> &p : m_ports)
        worst = std::max(worst, *p->status);
    // From the event loop, even when every opening failed at once.
    QMetaObject::invokeMethod(
        this,
        [this, worst] {
            if (!m_stopped)
                emit finished(int(worst));
        },
        Qt::QueuedConnection);
}

void Run::stop()
{
    m_stopped = true;
    for (const std::unique_ptr<Port> &port : m_ports)
        if (port->transfer)
            port->transfer->close();
}

} // namespace send
