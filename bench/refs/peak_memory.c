/* Runs one command line, waits for it and prints its peak memory as
 * Windows reports it: "peak_working_set=<bytes> peak_pagefile=<bytes>
 * seconds=<wall time>" (peak private bytes as "peak_pagefile"). Usage: peak_memory.exe <program> [arguments...]
 * (the rest of this program's own command line is passed on as it stands). */
#include <windows.h>
#include <psapi.h>
#include <stdio.h>

int main(void) {
    const char* line = GetCommandLineA();
    /* Skip this program's own name. */
    if (*line == '"') { for (++line; *line && *line != '"'; ++line) {} if (*line) ++line; }
    else while (*line && *line != ' ') ++line;
    while (*line == ' ') ++line;
    char command[32768];
    lstrcpynA(command, line, sizeof command);
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process;
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        printf("cannot start: %lu\n", GetLastError());
        return 1;
    }
    /* Wine may no longer answer for a process that has ended: sample the
     * peaks while it runs, every millisecond, and once more at the end. */
    SIZE_T peakWorkingSet = 0, peakPrivate = 0;
    for (;;) {
        DWORD state = WaitForSingleObject(process.hProcess, 1);
        PROCESS_MEMORY_COUNTERS counters = {sizeof counters};
        if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof counters)) {
            if (counters.PeakWorkingSetSize > peakWorkingSet) peakWorkingSet = counters.PeakWorkingSetSize;
            if (counters.PeakPagefileUsage > peakPrivate) peakPrivate = counters.PeakPagefileUsage;
        }
        if (state != WAIT_TIMEOUT) break;
    }
    QueryPerformanceCounter(&end);
    if (!peakWorkingSet) {
        printf("no memory information: %lu\n", GetLastError());
        return 1;
    }
    printf("peak_working_set=%lu peak_pagefile=%lu seconds=%.3f\n", (unsigned long)peakWorkingSet,
           (unsigned long)peakPrivate, (double)(end.QuadPart - begin.QuadPart) / (double)frequency.QuadPart);
    return 0;
}
