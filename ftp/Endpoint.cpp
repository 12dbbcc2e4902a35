#include "ftp/Endpoint.h"

#include "ftp/CurlHandles.h"

#include <cctype>

namespace ftp {
namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Where a scheme ends ("://"), or npos for a host text without one.
std::size_t SchemeEnd(const std::string& host) { return host.find("://"); }

// "ftp://host:port" (or "sftp://..."), or empty when the host is no valid
// host name.
std::string ServerUrl(const std::string& host, int port, const std::string& scheme) {
    CurlUrl url(curl_url());
    if (!url) return {};
    std::string name = host;
    if (name.find(':') != std::string::npos && name.front() != '[') name = "[" + name + "]";
    if (curl_url_set(url.get(), CURLUPART_SCHEME, scheme.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_HOST, name.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PORT, std::to_string(port).c_str(), 0) != CURLUE_OK)
        return {};
    char* text = nullptr;
    if (curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK || !text) return {};
    std::string result = CurlText(text).get();
    while (!result.empty() && result.back() == '/') result.pop_back();
    // The URL parser passes some characters a host name cannot hold.
    if (result.find_first_of("@/?# ", scheme.size() + 3) != std::string::npos) return {};
    return result;
}

// A whole number from 1 to 65535, else 0.
int ProfilePort(const std::string& portText) {
    std::string text = Trimmed(portText);
    if (!text.empty() && text.front() == '+') text.erase(0, 1);
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
    const int port = std::stoi(text);
    return port >= 1 && port <= 65535 ? port : 0;
}

}  // namespace

bool TransportOf(const std::string& host, Transport& transport) {
    const std::string text = Trimmed(host);
    const std::size_t end = SchemeEnd(text);
    if (end == std::string::npos) {
        transport = Transport::Ftp;
        return true;
    }
    std::string scheme = text.substr(0, end);
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme == "ftp") transport = Transport::Ftp;
    else if (scheme == "ftps") transport = Transport::Ftps;
    else if (scheme == "sftp") transport = Transport::Sftp;
    else return false;
    return true;
}

int DefaultPort(Transport transport) { return transport == Transport::Sftp ? 22 : 21; }

int PortFromProfile(const std::string& portText) {
    const int port = ProfilePort(portText);
    return port ? port : 21;
}

int PortFromProfile(const std::string& portText, const std::string& host) {
    Transport transport = Transport::Ftp;
    TransportOf(host, transport);
    const int port = ProfilePort(portText);
    return port ? port : DefaultPort(transport);
}

EndpointProblem MakeEndpoint(const std::string& hostText, int port, Endpoint& where) {
    if (!TransportOf(hostText, where.transport)) return EndpointProblem::UnknownScheme;
    where.host = Trimmed(hostText);
    if (const std::size_t end = SchemeEnd(where.host); end != std::string::npos) {
        where.host.erase(0, end + 3);
        while (!where.host.empty() && where.host.back() == '/') where.host.pop_back();
    }
    where.port = port >= 1 && port <= 65535 ? port : DefaultPort(where.transport);
    if (!where.host.empty())
        where.url = ServerUrl(where.host, where.port, where.transport == Transport::Sftp ? "sftp" : "ftp");
    if (where.url.empty()) return EndpointProblem::NoHost;
    if (where.host.front() == '[' && where.host.back() == ']') where.host = where.host.substr(1, where.host.size() - 2);
    return EndpointProblem::None;
}

}  // namespace ftp
