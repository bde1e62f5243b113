// korvel-test-flood: sends junk datagrams at a UDP port, paced evenly over a duration.
//
//   --target ADDR:PORT   where the junk goes (the program's local port)
//   --from ADDR:PORT     a source to send from; may be given once (the last one wins) and
//                        an ephemeral port of the same address is used as a second source
//   --count N            datagrams in all (100000)
//   --duration-ms D      spread over this time (3000)
//   --seed N             fixed seed for sizes and contents
//
// Sizes cycle through the ones a parser trips over (0, 1, 47, 48, 49, 68, 1500) and random
// ones; 48-byte junk often carries a server's first byte so it reaches the reply checks.

#include <time.h>

#include <array>
#include <cstdint>
#include <vector>

#include "tool_options.h"

namespace {

double monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const korvel::tools::Options options(argc, argv);
    const sockaddr_in target = korvel::tools::endpoint(options.text("target", ""));
    const long count = options.integer("count", 100000);
    const double durationMs = options.number("duration-ms", 3000);
    korvel::tools::Random random(static_cast<std::uint64_t>(options.integer("seed", 7)));

    sockaddr_in from = korvel::tools::endpoint(options.text("from", "0.0.0.0:0"));
    std::vector<int> sources{korvel::tools::boundSocket(from)};
    if (from.sin_port != 0) {
        from.sin_port = 0;
        sources.push_back(korvel::tools::boundSocket(from));
    }
    korvel::tools::announceReady();

    constexpr std::array<std::size_t, 8> kSizes{0, 1, 47, 48, 49, 68, 1500, 0};
    std::vector<std::uint8_t> bytes(1500);
    const double start = monotonicMs();
    long sent = 0;
    for (long i = 0; i < count; ++i) {
        // Evenly paced: datagram i leaves at start + i * duration / count.
        const double due = start + durationMs * static_cast<double>(i) / static_cast<double>(count);
        while (monotonicMs() < due) {
            const timespec pause{0, 50'000};
            nanosleep(&pause, nullptr);
        }
        std::size_t size = kSizes[static_cast<std::size_t>(i) % kSizes.size()];
        if (i % kSizes.size() == kSizes.size() - 1) {
            size = random.next() % 200;
        }
        for (std::size_t b = 0; b < size; ++b) {
            bytes[b] = static_cast<std::uint8_t>(random.next());
        }
        if (size == 48 && i % 2 == 0) {
            bytes[0] = 0x24;
            bytes[1] = 2;
        }
        const int fd = sources[static_cast<std::size_t>(i) % sources.size()];
        if (::sendto(fd, bytes.data(), size, 0, reinterpret_cast<const sockaddr*>(&target),
                     sizeof target) >= 0) {
            ++sent;
        }
    }
    std::printf("sent %ld of %ld in %.0f ms\n", sent, count, monotonicMs() - start);
    return 0;
}
