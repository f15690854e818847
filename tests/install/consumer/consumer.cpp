// The consumer compiled as C++ (C++17), logging with the typed helpers.
#include "consumer.c"
