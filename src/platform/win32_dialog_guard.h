// A guard for the file dialogs of Wine, whose dialog copies the path typed
// into its name box into a stack buffer of MAX_PATH wide characters
// (FILEDLG95_OnOpen), whatever lpstrFile's size: a longer path overruns it,
// and the process crashes or hangs. Windows' dialogs need no guard.
#pragma once

#include <windows.h>
#include <commdlg.h>

// Under Wine, hooks the dialog (OFN_EXPLORER | OFN_ENABLEHOOK) so that an OK
// on a path of MAX_PATH characters or more ends it as cancelled; elsewhere
// leaves the request as it is (a hook gives Windows Vista and later the old
// dialog).
void guardWineFileDialog(OPENFILENAMEW& request, const char* call);
