// A small library for the binder's tests: functions found by name, by ordinal (the
// linker numbers exports alphabetically from 1, so BindeeAdd is #1) and through "@@".
#include "runtime/binder.h"

#ifdef _WIN32
#define BINDEE_EXPORT __declspec(dllexport)
#else
#define BINDEE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
BINDEE_EXPORT int SYSTEM_API BindeeAdd(int a, int b) { return a + b; }
BINDEE_EXPORT int SYSTEM_API BindeeTwice(int a) { return 2 * a; }
}
