#include "app/pipeline.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/kernel_image.h"
#include "app/packed_image.h"
#include "app/release_paths.h"
#include "container/block_container_writer.h"
#include "container/worker_count.h"

namespace romfold {

int run_pipeline(int argc, char** argv) {
    // Stage 1: exactly one argument, checked before any file is touched.
    if (argc != 2) {
        std::printf("Usage:\r\nromfold <path>\r\npath: flat release directory containing nk.bin\r\n");
        return -1;
    }
    // The worker count, before any file is touched: a value that is not one
    // stops the run rather than being guessed at.
    const char* threads = std::getenv("ROMFOLD_THREADS");
    unsigned setting = 0;
    if (!parse_worker_setting(threads, &setting)) {
        std::printf("ROMFOLD_THREADS=%s is not a worker count: give 1 to %u, or 0 for one per CPU.\r\n", threads,
                    max_workers);
        return -1;
    }
    const unsigned workers = resolve_workers(setting);
    const ReleasePaths paths = make_release_paths(argv[1]);

    // Stage 2: the nk.bin header gives the image length.
    std::uint32_t image_length = 0;
    if (check_kernel_image(paths.kernel_image, &image_length) != 0) {
        return -1;
    }

    // Stage 3: the segments become the flat image nk.tmp.
    if (merge_segments(paths.directory, paths.merged_image, image_length) != 0) {
        return -1;
    }

    // Stage 4: nk.tmp becomes the block container nbx.tmp.
    if (FoldEncodeFile(paths.merged_image.c_str(), paths.container.c_str(), workers) != 0) {
        std::printf("Error compressing %s to %s.\r\n", paths.merged_image.c_str(), paths.container.c_str());
        return -1;
    }

    // Stages 5 to 8: the splash screen check and the packed image nk.nbx.
    return write_packed_image(paths);
}

}  // namespace romfold
