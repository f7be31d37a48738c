// Platform layer on Windows: kernel events and threads, a critical section
// for the recursive lock, the process affinity mask for the processor count.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <new>

#include "threads/platform.h"

namespace hvdv {

namespace {

// CreateThread wants a WINAPI procedure returning DWORD; the start record
// carries the library's procedure and argument across.
struct StartRecord {
    DVThreadProc proc;
    void* argument;
};

DWORD WINAPI ThreadEntry(LPVOID parameter) {
    StartRecord start = *static_cast<StartRecord*>(parameter);
    delete static_cast<StartRecord*>(parameter);
    return (DWORD)start.proc(start.argument);
}

int CountBits(DWORD_PTR mask) {
    int count = 0;
    for (; mask; mask &= mask - 1) ++count;
    return count;
}

}  // namespace

int PlatformCreateEvent(DVHandle* event, int initiallySignalled) {
    HANDLE h = CreateEventA(NULL, TRUE, initiallySignalled ? TRUE : FALSE, NULL);
    *event = h;
    return h ? 0 : 1;
}

void SignalEvent(DVHandle event) {
    if (event) SetEvent((HANDLE)event);
}

void ResetEventSignal(DVHandle event) {
    if (event) ResetEvent((HANDLE)event);
}

uint32_t WaitEvent(DVHandle event, uint32_t timeoutMs) {
    if (!event) return kWaitTimedOut;
    return WaitForSingleObject((HANDLE)event, (DWORD)timeoutMs) == WAIT_OBJECT_0 ? kWaitSignalled
                                                                                : kWaitTimedOut;
}

int PlatformStartThread(DVHandle* thread, DVThreadProc proc, void* argument, uint32_t* threadId) {
    *thread = nullptr;
    StartRecord* start = new (std::nothrow) StartRecord;
    if (!start) return 1;
    start->proc = proc;
    start->argument = argument;
    DWORD id = 0;
    HANDLE h = CreateThread(NULL, 0, ThreadEntry, start, 0, &id);
    if (!h) {
        delete start;
        return 1;
    }
    if (threadId) *threadId = (uint32_t)id;
    *thread = h;
    return 0;
}

uint32_t WaitThreadEnd(DVHandle thread, uint32_t timeoutMs) {
    if (thread) WaitForSingleObject((HANDLE)thread, (DWORD)timeoutMs);
    return 0;
}

void CloseDVHandle(DVHandle* handle) {
    if (*handle) CloseHandle((HANDLE)*handle);
    *handle = nullptr;
}

int CreateLock(DVHandle* lock) {
    CRITICAL_SECTION* cs = new (std::nothrow) CRITICAL_SECTION;
    *lock = cs;
    if (!cs) return 1;
    InitializeCriticalSection(cs);
    return 0;
}

void DeleteLock(DVHandle* lock) {
    CRITICAL_SECTION* cs = static_cast<CRITICAL_SECTION*>(*lock);
    *lock = nullptr;
    if (!cs) return;
    DeleteCriticalSection(cs);
    delete cs;
}

void EnterLock(DVHandle lock) { EnterCriticalSection(static_cast<CRITICAL_SECTION*>(lock)); }
void LeaveLock(DVHandle lock) { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(lock)); }

int PlatformCountProcessors(int mode) {
    if (mode == kCountAffinity) {
        DWORD_PTR processMask = 0, systemMask = 0;
        if (GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask))
            return CountBits(processMask);
    }
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return CountBits(info.dwActiveProcessorMask);
}

void PlatformDebugText(const char* text) { OutputDebugStringA(text); }

}  // namespace hvdv
