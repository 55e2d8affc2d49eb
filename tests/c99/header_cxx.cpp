// The C99 header check, compiled as C++.
#include "header.c"
