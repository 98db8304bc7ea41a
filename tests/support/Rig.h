#pragma once

#include "FakeCommControl.h"
#include "VirtualClock.h"
#include "commands/Repeater.h"
#include "link/PortChoice.h"
#include "link/Transfer.h"
#include "status/StatusReader.h"

#include <QStringList>

// The core as the window puts it together, on a fake port in virtual time, with what the
// monitor lines would show kept as text and every reported failure kept in order.
struct Rig
{
    VirtualClock clock;
    FakeCommControl *comm = new FakeCommControl;
    Transfer transfer{std::unique_ptr<CommControl>(comm), clock.factory(), vocabulary::kNormalTiming};
    Repeater repeater{transfer, clock.factory()};
    StatusReader status{transfer};
    PortChoice ports{transfer.comm()};
    QString txd, rxd;
    QStringList failures;

    // Opened on COM1 as at start-up, with nothing written yet.
    Rig();

    void advance(int milliseconds) { clock.advance(std::chrono::milliseconds{milliseconds}); }
    void note(const CommError &error);
    void click(const char *button);
    void press(const char *button);
    void release(const char *button);
    QByteArrayList takeWrites() { return std::exchange(comm->writes, {}); }
};

const vocabulary::Command &commandOf(const char *button);
bool isHold(const char *button);
