#include "ftp/ReplyParser.h"

#include <cctype>

namespace ftp {
namespace {

bool Coded(const std::string& line) {
    return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
           std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2]));
}

}  // namespace

std::vector<std::string> ReplyParser::Feed(std::string_view text) {
    std::vector<std::string> replies;
    line_.append(text);
    std::size_t nl;
    while ((nl = line_.find('\n')) != std::string::npos) {
        std::string line = line_.substr(0, nl);
        line_.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const bool coded = Coded(line);
        if (pending_.empty()) {
            if (coded && line.size() > 3 && line[3] == '-') pending_ = line;
            else replies.push_back(std::move(line));
            continue;
        }
        // A multi-line reply ends at its own code followed by a blank.
        pending_ += "\n" + line;
        if (coded && line.compare(0, 3, pending_, 0, 3) == 0 && (line.size() == 3 || line[3] == ' ')) {
            replies.push_back(std::move(pending_));
            pending_.clear();
        }
    }
    return replies;
}

void ReplyParser::Reset() {
    line_.clear();
    pending_.clear();
}

}  // namespace ftp
