// Hands calls from a worker thread to the main thread and waits until they ran.
//
// The receive thread delivers its events this way, so handlers may touch the
// user interface. The main thread runs what is pending with CheckSynchronize:
// the window from its event loop (through the wake-up hook), the command line
// from its own loop, and TlumCustomComPort::Close while it waits for the
// thread to end, so that the two threads never wait for each other.
#pragma once

#include <cstdint>
#include <functional>

// Called on a worker thread: queues call for the main thread and blocks until
// it has run. An exception thrown by call is swallowed on the main thread.
void Synchronize(std::function<void()> call);

// Called on the main thread: runs every queued call. Waits up to timeoutMs
// (real time) for the first one when none is queued. True when any ran.
bool CheckSynchronize(uint32_t timeoutMs = 0);

// Called (on the worker thread) each time a call is queued, so an event loop
// can schedule a CheckSynchronize. Pass an empty function to remove it.
void SetSynchronizeWakeup(std::function<void()> wakeup);
