#pragma once
// Server replies as they arrive in pieces: whole lines, and a multi-line
// reply ("150-first", ..., "150 last") gathered into one text whose lines
// are joined by "\n".

#include <string>
#include <string_view>
#include <vector>

namespace ftp {

class ReplyParser {
public:
    // Takes the next piece of what the server sent; returns the replies it
    // completed, in order, without their line ends.
    std::vector<std::string> Feed(std::string_view text);
    // Forgets a line or reply still arriving (a new request begins).
    void Reset();

private:
    std::string line_;     // a line still arriving
    std::string pending_;  // the lines so far of a multi-line reply
};

}  // namespace ftp
