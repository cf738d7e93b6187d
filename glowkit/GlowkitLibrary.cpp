#include "glowkit/GlowkitLibrary.h"

#include "glowkit/BacklightClassDevice.h"
#include "glowkit/BacklightControl.h"
#include "platform/BoardFile.h"
#include "platform/CallerGate.h"
#include "platform/RegisterObserver.h"
#include "platform/ReportProblem.h"

#include <atomic>
#include <new>

namespace {

// Never destroyed by the C++ runtime: at process exit a caller's thread may still be inside
// SetBrightness, and the unload hook, not a static destructor, decides whether the windows go.
union LibraryState {
    constexpr LibraryState()
        : backlight()
    {
    }
    ~LibraryState() { }

    BacklightControl backlight;
};

constinit LibraryState state;
constinit CallerGate gate;

// The board file is read once, by the first InitBacklightCtrl after attach, and its way kept, so a
// program retrying a failed init hears about a bad board file once. The class device's level lives out
// here, never destroyed, because GetBrightness may read it on any thread at any time, also while the
// unload hook deletes the device.
constinit bool boardRead = false;
constinit BoardWay backlightWay = BoardWay::Registers;
constinit BacklightClassDevice* classDevice = nullptr;
constinit std::atomic<bool> classWay { false };
constinit std::atomic<std::int32_t> classLevel { -1 };

void ReadBoardFile()
{
    BoardFile board;
    board.Load();
    for (const std::string& message : board.Messages(BoardFile::Part::Backlight))
        ReportProblemFrom("glowkit", "%s", message.c_str());
    backlightWay = board.BacklightWay();
    if (backlightWay == BoardWay::Kernel) {
        classDevice = new (std::nothrow) BacklightClassDevice(classLevel, board.BacklightDirectory());
        if (!classDevice)
            return; // the next init reads the file again
    }
    classWay.store(classDevice != nullptr, std::memory_order_release);
    boardRead = true;
}

}

bool GlowkitEntry(AttachReason reason)
{
    if (reason == AttachReason::ProcessAttach)
        gate.Open();
    // At process exit the program's other threads may still be inside an export. Only when none is do
    // the windows (or the class device) go; otherwise they stay for them, and the kernel releases them as
    // the process ends.
    if (reason == AttachReason::ProcessDetach && gate.Close()) {
        state.backlight.ReleaseWindows();
        registerobserver::ReleaseTrace();
        delete classDevice;
        classDevice = nullptr;
        boardRead = false;
    }
    return true;
}

BacklightControl& Backlight()
{
    return state.backlight;
}

std::int32_t GlowkitInitBacklightCtrl()
{
    const CallerGate::Pass pass(gate);
    if (!pass.Admitted())
        return 0;
    if (!boardRead)
        ReadBoardFile();
    if (!boardRead)
        return 0;
    switch (backlightWay) {
    case BoardWay::Registers:
        return state.backlight.InitBacklightCtrl();
    case BoardWay::Kernel:
        return classDevice->InitBacklightCtrl();
    case BoardWay::OutOfReach:
        return 0;
    }
    return 0;
}

std::int32_t GlowkitGetBrightness()
{
    return classWay.load(std::memory_order_acquire) ? classLevel.load(std::memory_order_relaxed)
                                                    : state.backlight.GetBrightness();
}

std::int32_t GlowkitSetBrightness(std::int32_t level)
{
    const CallerGate::Pass pass(gate);
    if (!pass.Admitted())
        return GlowkitGetBrightness();
    if (classDevice)
        return classDevice->SetBrightness(level);
    return state.backlight.SetBrightness(level);
}
