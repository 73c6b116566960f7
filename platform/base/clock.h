// Millisecond clock and sleeping.
#pragma once

#include "platform/base/types.h"

// Milliseconds since an arbitrary start, wrapping at 2^32 like the desktop multimedia timer.
DWORD timeGetTime();
// Suspends the calling thread for at least ms milliseconds.
void Sleep(DWORD ms);
// Timer resolution requests: Linux sleeps already have sub-millisecond resolution, so these only
// report success.
UINT timeBeginPeriod(UINT ms);
UINT timeEndPeriod(UINT ms);
