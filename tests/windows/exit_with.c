/* A Windows program for testing the Wine runner: "exit_with N" returns N, "exit_with sleep S"
   sleeps S seconds, "exit_with crash" dies of an access violation. "exit_with hold S" is the
   test suite's idle program: it keeps a hidden window for S seconds, saying "ready" once the
   window is made. Wine's desktop process is started by the first program that makes a window and
   keeps that program's output open; started by a test, it would hold the test's output pipe, and
   the test would seem to run until the desktop went away. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "sleep") == 0) {
    Sleep((DWORD)atoi(argv[2]) * 1000u);
    return 0;
  }
  if (argc == 3 && strcmp(argv[1], "hold") == 0) {
    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    if (window == NULL) {
      fprintf(stderr, "exit_with: no window could be made (error %lu)\n", GetLastError());
      return 1;
    }
    printf("ready\n");
    fflush(stdout);
    /* Messages are answered, so no program broadcasting to every window waits on this one. */
    SetTimer(NULL, 0, (UINT)atoi(argv[2]) * 1000u, NULL);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0 && message.message != WM_TIMER)
      DispatchMessageA(&message);
    DestroyWindow(window);
    return 0;
  }
  if (argc == 2 && strcmp(argv[1], "crash") == 0) {
    volatile int* nowhere = NULL;
    *nowhere = 1;
    return 0;
  }
  if (argc == 2) {
    printf("exit_with %s\n", argv[1]);
    return atoi(argv[1]);
  }
  fprintf(stderr, "usage: exit_with N | sleep S | hold S | crash\n");
  return 2;
}
