// vlink: the image linker (placeholder entry until the linker lands).
#include <cstdio>
int main() { std::fprintf(stderr, "vlink: not built yet\n"); return 2; }
