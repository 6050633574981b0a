/* Start-up reference: a GUI program importing only KERNEL32 and ADVAPI32
 * that does nothing. No C runtime: its own entry point ends the process. */
#include <windows.h>

void start(void) {
    /* Never true; keeps the ADVAPI32 import without calling it. */
    if (GetCommandLineA()[0] == 1) RegCloseKey(NULL);
    ExitProcess(0);
}
