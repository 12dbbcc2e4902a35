#pragma once
// Where a server profile's host field and port take a connection: the
// transport its scheme names (plain FTP, explicit FTPS, SFTP), the host
// and the port, as one URL for libcurl.

#include <string>

namespace ftp {

// How the host text reaches the server.
enum class Transport { Ftp, Ftps, Sftp };

// The transport a host text names ("sftp://host" is Sftp); a text without
// a scheme is plain FTP. False for a scheme other than these three.
bool TransportOf(const std::string& host, Transport& transport);
// The port a connection uses when none is given: 22 for SFTP, else 21.
int DefaultPort(Transport transport);

// The port a profile's text names: a whole number from 1 to 65535, else 21.
int PortFromProfile(const std::string& portText);
// The same for the profile's host text: the transport's default port (22
// for SFTP) when the text is no whole number from 1 to 65535.
int PortFromProfile(const std::string& portText, const std::string& host);

// Where a connection goes, and what the server's identity is checked
// against.
struct Endpoint {
    Transport transport = Transport::Ftp;
    std::string host;        // as the user named it, without scheme or brackets
    int port = 21;
    std::string url;         // "ftp://host:port" or "sftp://host:port"
    std::string caFile;      // FTPS; empty: the system's CA store
    std::string knownHosts;  // SFTP
};

enum class EndpointProblem { None, UnknownScheme, NoHost };
// The endpoint of a host text ("host", "ftps://host/", "[::1]") and a port
// (0, or one outside 1..65535, is the transport's default).
EndpointProblem MakeEndpoint(const std::string& hostText, int port, Endpoint& where);

}  // namespace ftp
