#include "tools/probecheck/SerialCheck.h"

#include "tools/common/Format.h"
#include "tools/probecheck/CheckRecord.h"
#include "tools/probecheck/Progress.h"
#include "tools/probecheck/SerialSession.h"

std::string SerialCheck::Prepare(CheckRecord& record)
{
    record.deviceKind = "serial";
    std::string error;
    if (!SerialSession::PortName(device, serial.portName, &portName, &error))
        return error;
    devicePath = SerialSession::ResolvePath(portName);
    return {};
}

bool SerialCheck::Open(SerialSession& port, Progress& progress, CheckRecord& record)
{
    record.devicePath = devicePath;
    std::string error;
    if (!port.Open(portName, serial.baudRate, serial.byteSize, serial.stopBits, serial.parity, &error)) {
        record.CouldNotRun(error);
        return false;
    }
    progress.Event(Name(), Format("opened %s at %u baud", devicePath.c_str(), serial.baudRate));
    return true;
}

bool SerialCheck::EndedEarly(
    CheckLoop::Stop stop, const CheckLoop& loop, const SerialSession& port, CheckRecord& record)
{
    if (stop == CheckLoop::Stop::Interrupted)
        record.Interrupted(loop.SignalName());
    else if (port.IsLost())
        record.Lost();
    return record.Ended();
}
