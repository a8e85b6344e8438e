#include <cstdio>

#include "app/binary_console.h"
#include "app/pipeline.h"
#include "container/utf8_paths.h"

int main(int argc, char** argv) {
    romfold::use_binary_console();
    romfold::Utf8Arguments arguments(argc, argv);
    const int status = romfold::run_pipeline(arguments.argc(), arguments.argv());
    std::fflush(stdout);
    return status;
}
