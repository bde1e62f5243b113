// korvel-bench-receive-time-shift: preloaded beside libfaketime into a time server, so that
// the kernel's receive timestamps (SO_TIMESTAMPNS, SO_TIMESTAMP, SO_TIMESTAMPING) carry the
// same offset as its clock readings. libfaketime shifts the readings only; ntpd takes each
// request's receive time from the kernel and, without the shift, would serve its receive and
// transmit times FAKETIME apart; chronyd would refuse the kernel's time as too far from its
// own reading and stamp the request only when it wakes for it. Reads the offset from FAKETIME
// in its relative form ("+3.25", "-3600").

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace {

using RecvMsg = ssize_t (*)(int, msghdr*, int);
// The layout of SCM_TIMESTAMPING's payload (linux/errqueue.h, which clashes with <ctime>).
struct Stamping {
    timespec ts[3];
};
using RecvMmsg = int (*)(int, mmsghdr*, unsigned int, int, timespec*);

long long offsetNs() {
    const char* text = std::getenv("FAKETIME");
    if (text == nullptr || (text[0] != '+' && text[0] != '-')) {
        return 0;
    }
    return std::llround(std::strtod(text, nullptr) * 1e9);
}

// Moves a stamp of whole seconds and `perSecond` parts (timespec, timeval) by the offset.
template <typename Seconds, typename Fraction>
void shift(Seconds& seconds, Fraction& fraction, long long perSecond, long long byNs) {
    const long long total = static_cast<long long>(seconds) * perSecond +
                            static_cast<long long>(fraction) + byNs / (1'000'000'000 / perSecond);
    const long long remainder = (total % perSecond + perSecond) % perSecond;
    seconds = static_cast<Seconds>((total - remainder) / perSecond);
    fraction = static_cast<Fraction>(remainder);
}

void shiftStamps(msghdr* message) {
    static const long long byNs = offsetNs();
    for (cmsghdr* c = CMSG_FIRSTHDR(message); c != nullptr; c = CMSG_NXTHDR(message, c)) {
        if (c->cmsg_level != SOL_SOCKET) {
            continue;
        }
        if (c->cmsg_type == SCM_TIMESTAMPNS) {
            auto* stamp = reinterpret_cast<timespec*>(CMSG_DATA(c));
            shift(stamp->tv_sec, stamp->tv_nsec, 1'000'000'000, byNs);
        } else if (c->cmsg_type == SCM_TIMESTAMPING) {
            // Software, legacy and hardware stamps; only a stamp the kernel filled is moved.
            for (timespec& stamp : reinterpret_cast<Stamping*>(CMSG_DATA(c))->ts) {
                if (stamp.tv_sec != 0 || stamp.tv_nsec != 0) {
                    shift(stamp.tv_sec, stamp.tv_nsec, 1'000'000'000, byNs);
                }
            }
        } else if (c->cmsg_type == SCM_TIMESTAMP) {
            auto* stamp = reinterpret_cast<timeval*>(CMSG_DATA(c));
            shift(stamp->tv_sec, stamp->tv_usec, 1'000'000, byNs);
        }
    }
}

}  // namespace

extern "C" ssize_t recvmsg(int fd, msghdr* message, int flags) {
    static const auto real = reinterpret_cast<RecvMsg>(dlsym(RTLD_NEXT, "recvmsg"));
    const ssize_t got = real(fd, message, flags);
    if (got >= 0) {
        shiftStamps(message);
    }
    return got;
}

extern "C" int recvmmsg(int fd, mmsghdr* messages, unsigned int count, int flags,
                        timespec* timeout) {
    static const auto real = reinterpret_cast<RecvMmsg>(dlsym(RTLD_NEXT, "recvmmsg"));
    const int got = real(fd, messages, count, flags, timeout);
    for (int i = 0; i < got; ++i) {
        shiftStamps(&messages[i].msg_hdr);
    }
    return got;
}
