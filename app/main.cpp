#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "app/pipeline.h"

int main(int argc, char** argv) {
#ifdef _WIN32
    // Every byte of the console text is the tool's own: no "\r" added before "\n".
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    const int status = romfold::run_pipeline(argc, argv);
    std::fflush(stdout);
    return status;
}
