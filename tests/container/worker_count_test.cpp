// ROMFOLD_THREADS: the values taken, and the values refused rather than guessed at.
#include "container/worker_count.h"

#include <gtest/gtest.h>

#include <optional>

namespace romfold {
namespace {

struct SettingCase {
    const char* text;
    std::optional<unsigned> workers;  // nullopt: refused
};

TEST(WorkerSetting, ParsesOnlyPlainCounts) {
    const SettingCase cases[] = {
        {.text = nullptr, .workers = 0u},
        {.text = "", .workers = 0u},
        {.text = "0", .workers = 0u},
        {.text = "1", .workers = 1u},
        {.text = "16", .workers = 16u},
        {.text = "007", .workers = 7u},
        {.text = "1024", .workers = 1024u},
        {.text = "1025", .workers = std::nullopt},
        {.text = "99999999999999999999", .workers = std::nullopt},
        {.text = "abc", .workers = std::nullopt},
        {.text = "4x", .workers = std::nullopt},
        {.text = "-1", .workers = std::nullopt},
        {.text = "+2", .workers = std::nullopt},
        {.text = " 2", .workers = std::nullopt},
        {.text = "2 ", .workers = std::nullopt},
    };
    for (const SettingCase& c : cases) {
        unsigned workers = 12345;
        const bool parsed = parse_worker_setting(c.text, &workers);
        EXPECT_EQ(parsed, c.workers.has_value()) << (c.text ? c.text : "(unset)");
        if (parsed && c.workers) {
            EXPECT_EQ(workers, *c.workers) << (c.text ? c.text : "(unset)");
        }
    }
}

TEST(WorkerSetting, AutomaticIsTheAvailableCpus) {
    EXPECT_GE(available_cpus(), 1u);
    EXPECT_EQ(resolve_workers(0), available_cpus() < max_workers ? available_cpus() : max_workers);
    EXPECT_EQ(resolve_workers(3), 3u);
}

}  // namespace
}  // namespace romfold
