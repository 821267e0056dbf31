// Writes the example designs of examples/ and, with --big, the largest design
// the model holds (3520 warp ends x 5000 picks) for the benchmarks.
#include <cstdio>
#include <cstring>
#include <string>

#include "examples/exampledesigns.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--big") == 0) {
        if (wp::saveNativeDraft(wp::examples::big(), argv[2])) return 0;
        std::fprintf(stderr, "weavepilot-mkexamples: cannot write %s\n", argv[2]);
        return 1;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: weavepilot-mkexamples OUTDIR | --big FILE\n");
        return 2;
    }
    std::string error;
    if (wp::examples::writeAll(argv[1], error)) return 0;
    std::fprintf(stderr, "weavepilot-mkexamples: cannot write %s\n", error.c_str());
    return 1;
}
