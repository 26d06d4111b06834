/* A Windows program for testing the Wine runner: "exit_with N" returns N, "exit_with sleep S"
   sleeps S seconds, "exit_with crash" dies of an access violation. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "sleep") == 0) {
    Sleep((DWORD)atoi(argv[2]) * 1000u);
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
  fprintf(stderr, "usage: exit_with N | sleep S | crash\n");
  return 2;
}
