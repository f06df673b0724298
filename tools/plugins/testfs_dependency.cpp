// The library the dependent variant of the test module needs: a module whose only way
// to load is to find this library beside itself (never in the current folder).
#if defined(_WIN32)
#define DEPENDENCY_EXPORT extern "C" __declspec(dllexport)
#else
#define DEPENDENCY_EXPORT extern "C" __attribute__((visibility("default")))
#endif

DEPENDENCY_EXPORT int crvltest_dependency_value(void) { return 42; }
