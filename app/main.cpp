#include <cstdio>

#include "app/binary_console.h"
#include "app/pipeline.h"

int main(int argc, char** argv) {
    romfold::use_binary_console();
    const int status = romfold::run_pipeline(argc, argv);
    std::fflush(stdout);
    return status;
}
