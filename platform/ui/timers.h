// Window timers. A started timer makes the window system post WM_TIMER (wParam the id) to the
// window every elapse ms; like the desktop platform, at most one WM_TIMER of a timer waits in
// the queue at a time, and stopping a timer removes its waiting WM_TIMER.
//
// Threads: start and stop from any thread (the table is locked); the window system fires timers
// on the user-interface thread.
#pragma once

#include "platform/base/types.h"
#include "platform/ui/messages.h"

class CWnd;

namespace platform::ui {

void StartTimer(CWnd* wnd, UINT_PTR id, UINT elapse);
bool StopTimer(CWnd* wnd, UINT_PTR id);
void KillAllTimers(CWnd* wnd);
bool IsTimerRunning(const CWnd* wnd, UINT_PTR id);
// Interval of a running timer in ms, 0 when it is not running.
UINT TimerElapse(const CWnd* wnd, UINT_PTR id);
// The window system's tick for a timer: posts WM_TIMER unless one is still waiting or the timer
// was stopped. Returns true when it posted.
bool FireTimer(CWnd* wnd, UINT_PTR id);
// Called when a WM_TIMER reaches the window, so that the next tick may post again.
void TimerDelivered(CWnd* wnd, UINT_PTR id);

}  // namespace platform::ui
