// korvel-test-dns: a name server for the tests that reads every question and answers none, so
// that a look-up through it stalls until the resolver gives up.
//
//   --bind ADDR                  where to listen (port 53; 127.0.0.1)

#include <vector>

#include "tool_options.h"

int main(int argc, char** argv) {
    const korvel::tools::Options options(argc, argv);
    const int fd = korvel::tools::boundSocket(
        korvel::tools::endpoint(options.text("bind", "127.0.0.1") + ":53"));
    korvel::tools::announceReady();
    std::vector<char> query(512);
    for (;;) {
        ::recv(fd, query.data(), query.size(), 0);
    }
}
