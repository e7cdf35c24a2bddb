#pragma once

// Marks the functions and data that the shared object exports to native
// callers; everything else in the module stays hidden.
#if defined(_WIN32)
#define KINETROPE_API
#else
#define KINETROPE_API __attribute__((visibility("default")))
#endif
