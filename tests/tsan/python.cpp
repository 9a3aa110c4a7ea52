// The interpreter as a program of our own, so that ThreadSanitizer's runtime
// is linked into the executable: this runtime cannot be preloaded into an
// interpreter built without it (it crashes in libstdc++'s start-up), and it
// must be there before any thread exists. scripts/tsan.sh builds and uses it.
#include <Python.h>

int main(int argc, char** argv) { return Py_BytesMain(argc, argv); }
