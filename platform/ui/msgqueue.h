// The queue of posted messages. Any thread may post; the user-interface thread (or a test
// standing in for it) delivers them in order to the target window's WindowProc.
#pragma once

#include <cstddef>
#include <functional>

#include "platform/base/types.h"

class CWnd;

namespace platform::ui {

void PostToQueue(CWnd* target, UINT message, WPARAM wParam, LPARAM lParam);
// Delivers up to maxCount queued messages on the calling thread; returns how many were delivered.
// Messages posted while delivering are delivered too when the count allows.
std::size_t DeliverPostedMessages(std::size_t maxCount = static_cast<std::size_t>(-1));
// Forgets every queued message for a window that is going away.
void DropMessagesFor(CWnd* target);
// Forgets the queued messages of one kind (message and wParam) for a window.
void DropMessages(CWnd* target, UINT message, WPARAM wParam);
std::size_t PendingMessageCount();
// Whether a message of this kind waits in the queue for the window (any thread may ask: a
// handler that waits for a long time learns of a close request this way).
bool HasPostedMessage(CWnd* target, UINT message);
// Called (from the posting thread) after every post, so that a window system can wake its loop.
void SetQueueWakeHook(std::function<void()> hook);

}  // namespace platform::ui
