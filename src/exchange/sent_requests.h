#pragma once

#include <array>
#include <cstddef>

#include "exchange/sntp_packet.h"

namespace korvel {

inline constexpr int kRequestsPerBurst = 30;

// The transmit times of the current burst's requests. A reply counts only when it echoes one
// of them that has not been answered yet.
class SentRequests {
public:
    void clear() { m_count = 0; }
    void add(NtpTimestamp transmit) {
        if (m_count < m_entries.size()) {
            m_entries[m_count++] = {transmit, false};
        }
    }
    // True, and the request marked answered, when the originate time matches one.
    bool claim(NtpTimestamp originate) {
        for (std::size_t i = 0; i < m_count; ++i) {
            if (!m_entries[i].answered && m_entries[i].transmit == originate) {
                m_entries[i].answered = true;
                return true;
            }
        }
        return false;
    }

private:
    struct Entry {
        NtpTimestamp transmit;
        bool answered = false;
    };
    std::array<Entry, kRequestsPerBurst> m_entries{};
    std::size_t m_count = 0;
};

}  // namespace korvel
