/* A program built against an installed libfpta (pkg-config or CMake). */
#include <fpta.h>
#include <stdio.h>
int main(void) { return puts(fpta_strerror(FPTA_EINVAL)) < 0; }
