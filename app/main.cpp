#include <cstdio>

#include "app/pipeline.h"
#include "container/console_text.h"
#include "container/utf8_paths.h"

int main(int argc, char** argv) {
    const romfold::ConsoleText console;
    romfold::Utf8Arguments arguments(argc, argv);
    const int status = romfold::run_pipeline(arguments.argc(), arguments.argv());
    std::fflush(stdout);
    return status;
}
