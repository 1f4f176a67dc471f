#include "platform/interrupt.h"

#include <windows.h>

namespace platform {
namespace {

// The console calls its handler on a thread of its own, with no other way to reach the program's state.
std::atomic<bool>* gInterruptFlag = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (gInterruptFlag == nullptr || gInterruptFlag->exchange(true)) {
        // A second request ends the process as usual.
        return FALSE;
    }
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        return TRUE;
    default:
        // The console window is closing, or the user logging off: the process ends as soon as this returns.
        // Wait instead, so that the work can stop and tidy up; the process ends when it is done, or when
        // the system's patience (some seconds) runs out.
        Sleep(INFINITE);
        return TRUE;
    }
}

} // namespace

void SetFlagOnInterrupt(std::atomic<bool>* flag) {
    gInterruptFlag = flag;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void IgnoreFileSizeLimitSignal() {}

} // namespace platform
