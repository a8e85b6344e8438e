// Sanitizer defaults built into every fuzz target, so that a run by hand
// behaves as scripts/fuzz.sh's: a small quarantine for freed memory keeps the
// resident size well below the -rss_limit_mb the script sets (the default of
// 256 MB alone would pass it), and undefined behaviour prints its stack.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }

extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1"; }
