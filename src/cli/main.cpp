#include <cstdio>

int main(int argc, char** argv) {
    (void)argv;
    std::fprintf(stderr, "usage: orvex-cli COMMAND ...\n");
    return argc > 1 ? 0 : 2;
}
