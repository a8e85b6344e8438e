// The tools' text on standard output and error, written as the user reads it.
//
// The tools write their text byte for byte: lines end in whatever the message
// says ("\r\n" or "\n"), never with a "\r" added by a text-mode stream, and
// paths are UTF-8. A file or a pipe gets exactly those bytes on every system.
// A Windows console, though, shows bytes in its code page, so "Zoë" in UTF-8
// would show as "Zo├½"; there the text goes through the console's own
// wide-character output instead, converted from UTF-8, so it shows as typed.
// Linux terminals take UTF-8 as it is.
#pragma once

#include <cstddef>

namespace romfold {

// How many of the first size bytes of text form whole UTF-8 characters: size,
// less the bytes of a character cut off at the end (which wait for the rest).
// Bytes that are no UTF-8 count as whole: the conversion shows them as U+FFFD.
std::size_t whole_utf8_length(const char* text, std::size_t size);

// Sets up standard output and error for the tools' text, for the life of the
// object (one, in main, before anything is printed): binary on Windows (no
// "\r" added), and where either is a console, written through the console's
// wide-character output. The destructor flushes everything to the console
// before it returns; elsewhere neither does anything.
class ConsoleText {
public:
    ConsoleText();
    ~ConsoleText();
    ConsoleText(const ConsoleText&) = delete;
    ConsoleText& operator=(const ConsoleText&) = delete;

private:
#ifdef _WIN32
    struct Relay;
    Relay* relay_ = nullptr;
#endif
};

}  // namespace romfold
