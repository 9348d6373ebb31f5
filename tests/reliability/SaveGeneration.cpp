#include "GenerationSave.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// save_generation <settings file> <generation>: one "Salvar" in a process of its own, so that a
// test can kill it at any point. Status 0 when saved, 1 with the reason on stderr when not.
int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <settings file> <generation>\n", argv[0]);
        return 2;
    }
    std::string error;
    if (!saveGeneration(argv[1], std::strtol(argv[2], nullptr, 10), &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
