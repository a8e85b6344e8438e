#include <cstdio>

#include "app/pipeline.h"

int main(int argc, char** argv) {
    const int status = romfold::run_pipeline(argc, argv);
    std::fflush(stdout);
    return status;
}
