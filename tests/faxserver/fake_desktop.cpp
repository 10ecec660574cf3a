// A stand-in for the desktop program, for the shell tests:
//   fake_desktop free-port             prints a loopback port nothing listens on
//   fake_desktop answer PORTFILE FILE  serves one connection with FILE's bytes
//                                      (an empty file: the user cancels)
//   fake_desktop hold PORTFILE         accepts one connection and never answers
// The listening port is written to PORTFILE once the listener is up, and what
// the fax server sent to PORTFILE.got once it closed. With CORVANE_FAKE_AT=
// ADDRESS and CORVANE_FAKE_PORT=PORT it listens there instead of on loopback.

#include "peer.h"

#include <cstdio>
#include <cstdlib>

#include <sys/socket.h>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "free-port" && argc == 2) {
        std::cout << peer::ClosedPort() << '\n';
        return 0;
    }
    std::string reply;
    if (mode == "answer" && argc == 4) {
        std::ifstream file(argv[3], std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        reply = bytes.str();
    } else if (mode != "hold" || argc != 3) {
        std::cerr << "usage: fake_desktop free-port | answer PORTFILE FILE | hold PORTFILE\n";
        return 64;
    }
    const std::string portFile = argv[2];
    const char *at = std::getenv("CORVANE_FAKE_AT");
    const char *port = std::getenv("CORVANE_FAKE_PORT");
    peer::Peer desktop(
        [&](int fd) {
            if (mode == "answer") {
                peer::WriteAll(fd, reply);
                ::shutdown(fd, SHUT_WR);
            }
            std::ofstream(portFile + ".got", std::ios::binary) << peer::ReadUntilClose(fd);
        },
        peer::Family::V4, at ? at : "", port ? std::atoi(port) : 0);
    if (!desktop.listening())
        return 1;
    {
        std::ofstream out(portFile + ".new");
        out << desktop.port() << '\n';
    }
    std::rename((portFile + ".new").c_str(), portFile.c_str());
    return 0; // the destructor waits for the one connection
}
