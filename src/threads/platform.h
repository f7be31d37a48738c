// Thin platform layer: manual-reset events, threads started with one
// argument, a recursive lock, the processor count and the debugger text.
//
// Every object is a heap object behind a DVHandle.  The create and start
// operations store the new handle in the field they are given and return 0,
// or store null and return 1 when nothing could be created.  Closing stores
// null in the field; closing a null handle does nothing.
#pragma once
#include <cstdint>

namespace hvdv {

typedef void* DVHandle;  // a thread, event or lock of the platform layer

constexpr uint32_t kWaitInfinite = 0xFFFFFFFFu;  // wait without a time limit
constexpr uint32_t kWaitSignalled = 0;
constexpr uint32_t kWaitTimedOut = 258;          // any outcome but "signalled"

typedef uint32_t (*DVThreadProc)(void* argument);

// Manual-reset event: stays signalled until reset, so a signal given before
// the waiter arrives is never lost; every waiter is released.
int CreateManualEvent(DVHandle* event, int initiallySignalled);
void SignalEvent(DVHandle event);
void ResetEventSignal(DVHandle event);
// kWaitSignalled when the event was (or became) signalled within timeoutMs,
// kWaitTimedOut otherwise (also for a null handle).
uint32_t WaitEvent(DVHandle event, uint32_t timeoutMs);

// Starts proc(argument) on a new thread at once.  threadId may be null.
int StartThread(DVHandle* thread, DVThreadProc proc, void* argument, uint32_t* threadId);
// Waits until the thread has returned (or timeoutMs passed).  Always 0.
uint32_t WaitThreadEnd(DVHandle thread, uint32_t timeoutMs);

// Closes an event or a thread handle.  A thread keeps running when its
// handle is closed early; its resources go when it returns.
void CloseDVHandle(DVHandle* handle);

// Recursive lock: the owning thread may enter it again; it is free once
// every enter has been matched by a leave.  CreateLock returns 0 or 1.
int CreateLock(DVHandle* lock);
void DeleteLock(DVHandle* lock);
void EnterLock(DVHandle lock);
void LeaveLock(DVHandle lock);

// Processor count modes.
enum : int {
    kCountAffinity = 0,  // set bits of the process affinity mask
    kCountSystem = 1,    // processors the system reports as active
};

// Number of processors to use, at least 1.
int CountProcessors(int mode);

// Writes one line of text to the debugger output (nothing outside Windows).
void OutputDebugText(const char* text);

// --- Internal hooks for the tests; never exported -------------------------

// Replaces the result of CountProcessors (both modes) when non-zero.
void SetProcessorCountOverride(int count);

// After `allowed` further successful creations, every event creation (or
// thread start) fails until the next call.  A negative value never fails.
void SetEventCreationBudget(int allowed);
void SetThreadStartBudget(int allowed);


// --- Shared between platform.cpp and the per-system files ----------------

// The per-system halves (platform_posix.cpp, platform_win32.cpp).
int PlatformCreateEvent(DVHandle* event, int initiallySignalled);
int PlatformStartThread(DVHandle* thread, DVThreadProc proc, void* argument, uint32_t* threadId);
int PlatformCountProcessors(int mode);  // 0 when the system reports nothing
void PlatformDebugText(const char* text);

}  // namespace hvdv
