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

// The board file is read once, by the first InitBacklightCtrl, and its way kept for the library's life,
// so a program retrying a failed init hears about a bad board file once. The class device holds no
// descriptor and is never deleted, because GetBrightness may read its level on any thread at any time.
constinit bool boardRead = false;
constinit BoardWay backlightWay = BoardWay::Registers;
constinit std::atomic<BacklightClassDevice*> classDevice { nullptr };

void ReadBoardFile()
{
    BoardFile board;
    board.Load();
    for (const std::string& message : board.Messages(BoardFile::Part::Backlight))
        ReportProblemFrom("glowkit", "%s", message.c_str());
    backlightWay = board.BacklightWay();
    if (backlightWay == BoardWay::Kernel) {
        auto* device = new (std::nothrow) BacklightClassDevice(board.BacklightDirectory());
        if (!device)
            return; // the next init reads the file again
        classDevice.store(device, std::memory_order_release);
    }
    boardRead = true;
}

}

bool GlowkitEntry(AttachReason reason)
{
    if (reason == AttachReason::ProcessAttach)
        gate.Open();
    // At process exit the program's other threads may still be inside an export. Only when none is do
    // the windows go; otherwise they stay for them, and the kernel releases them as the process ends.
    if (reason == AttachReason::ProcessDetach && gate.Close()) {
        state.backlight.ReleaseWindows();
        registerobserver::ReleaseTrace();
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
        return classDevice.load(std::memory_order_relaxed)->InitBacklightCtrl();
    case BoardWay::OutOfReach:
        return 0;
    }
    return 0;
}

std::int32_t GlowkitGetBrightness()
{
    const BacklightClassDevice* device = classDevice.load(std::memory_order_acquire);
    return device ? device->GetBrightness() : state.backlight.GetBrightness();
}

std::int32_t GlowkitSetBrightness(std::int32_t level)
{
    const CallerGate::Pass pass(gate);
    if (!pass.Admitted())
        return GlowkitGetBrightness();
    if (BacklightClassDevice* device = classDevice.load(std::memory_order_relaxed))
        return device->SetBrightness(level);
    return state.backlight.SetBrightness(level);
}
