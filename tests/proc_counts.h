// Process-wide counts, for tests that check that work leaves nothing behind:
// threads (from /proc on Linux, a thread snapshot on Windows), and open
// descriptors and resident memory (Linux only).  A count that cannot be had
// is -1 and the tests that need it skip.
#pragma once
#include <chrono>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>
#endif
#if defined(__linux__)
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace hvdv_test {

inline long EntriesOf(const char* dir) {
#if defined(__linux__)
    long count = 0;
    if (DIR* d = opendir(dir)) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++count;
        closedir(d);
        return count;
    }
#else
    (void)dir;
#endif
    return -1;
}

inline long ThreadCount() {
#if defined(_WIN32)
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    long count = 0;
    THREADENTRY32 e;
    e.dwSize = sizeof e;
    for (BOOL ok = Thread32First(snap, &e); ok; ok = Thread32Next(snap, &e))
        if (e.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snap);
    return count;
#else
    return EntriesOf("/proc/self/task");
#endif
}
// Counts the descriptor the directory listing itself holds, the same way
// every time.
inline long OpenDescriptors() {
    return EntriesOf("/proc/self/fd");
}

// Resident memory in KiB.
inline long ResidentKiB() {
#if defined(__linux__)
    long pages = -1, resident = -1;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
        std::fclose(f);
    }
    return resident < 0 ? -1 : resident * (sysconf(_SC_PAGESIZE) / 1024);
#else
    return -1;
#endif
}

// The thread count once threads that are ending have left, waiting up to
// two seconds for it to come down to `expected`.
inline long ThreadCountSettled(long expected) {
    long n = ThreadCount();
    for (int i = 0; i < 400 && n > expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        n = ThreadCount();
    }
    return n;
}

// The thread count once it has held still for 50 ms (up to two seconds), for
// a baseline: a thread that was just joined may still be listed for a while
// (under qemu-aarch64 the emulator lets the joiner go before the host thread
// has ended).
inline long ThreadCountAtRest() {
    long n = ThreadCount();
    for (int i = 0, same = 0; i < 400 && same < 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const long m = ThreadCount();
        same = m == n ? same + 1 : 0;
        n = m;
    }
    return n;
}

}  // namespace hvdv_test
