/* The packaging test's control: loads each library named on the command
 * line by its bare name, through the ordinary search path, the way a careless
 * program would. Beside a planted copy this must take the planted one, which
 * shows the test's set-up can catch a planted library being loaded.
 * Exit code: how many of the names could not be loaded at all. */
#include <windows.h>
#include <stdio.h>

int main(int argc, char** argv) {
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        if (!LoadLibraryA(argv[i])) {
            printf("not loaded: %s (error %lu)\n", argv[i], GetLastError());
            ++failed;
        }
    }
    return failed;
}
