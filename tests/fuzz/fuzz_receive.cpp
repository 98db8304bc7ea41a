// The receive buffer and RXD's incremental rendering, driven through Transfer as the line, the
// clock and the sends would drive them, in the order the input picks. At every receive RXD, a
// MonitorLine edited as the window edits it, must show the rendering of the whole buffer, and
// the buffer must hold no more than its capacity.
#include "FakeCommControl.h"
#include "VirtualClock.h"
#include "commands/Vocabulary.h"
#include "link/Transfer.h"
#include "panel/MonitorLine.h"
#include "wire/Rendering.h"

#include <QApplication>

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static auto *app = new QApplication(*argc, *argv);
    Q_UNUSED(app);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    VirtualClock clock;
    auto *comm = new FakeCommControl;
    Transfer transfer(std::unique_ptr<CommControl>(comm), clock.factory(), vocabulary::kNormalTiming);
    MonitorLine rxd;
    QObject::connect(&transfer, &Transfer::receivedLineChanged, &rxd, &MonitorLine::setText);
    QObject::connect(&transfer, &Transfer::receivedLineEdited, &rxd, &MonitorLine::edit);
    QObject::connect(&transfer, &Transfer::replyReceived, [&] {
        const QByteArrayView buffer = transfer.state().ReceiveBuffer.bytes();
        if (buffer.size() > ReceivedBytes::kCapacity || rxd.text() != tolvek::render(buffer))
            qFatal("RXD shows %lld characters for %lld bytes", qlonglong(rxd.text().size()), qlonglong(buffer.size()));
    });
    (void)comm->setPortOpen(true);

    // Two bytes a step: what happens, and how much or which.
    const QByteArrayView in(data, qsizetype(size));
    for (qsizetype i = 0; i + 1 < in.size(); i += 2) {
        const auto step = quint8(in[i]);
        const auto arg = quint8(in[i + 1]);
        switch (step % 6) {
        case 0: { // the next arg bytes of the input come off the line
            const QByteArrayView bytes = in.sliced(i + 2).first(std::min<qsizetype>(arg, in.size() - i - 2));
            comm->receive(bytes.toByteArray());
            i += bytes.size();
            break;
        }
        case 1: // a flood of up to 43 KiB of one byte
            comm->receive(QByteArray(qsizetype(step / 6 + 1) * 1024, char(arg)));
            break;
        case 2: // data waits, but the event is another
            comm->receive(QByteArray(1, char(arg)), arg % 2 ? CommEvent::Error : CommEvent::DeviceLost);
            break;
        case 3: // time passes: the reply time-out and the monitor clear tick
            clock.advance(std::chrono::milliseconds(arg * 4));
            break;
        case 4: // a send, which fails while the port is closed
            (void)transfer.send(arg % 2 ? vocabulary::kQueries[arg % vocabulary::kQueries.size()].text : "C05");
            break;
        case 5: // what a hold does to the monitor, or the port closing and opening
            if (arg % 3 == 0)
                transfer.setTiming(vocabulary::kHoldTiming);
            else if (arg % 3 == 1)
                transfer.endHold();
            else
                (void)comm->setPortOpen(!comm->portOpen());
            break;
        }
    }
    return 0;
}
