#pragma once

#include <array>
#include <cstddef>

#include "sntp/sntp_packet.h"

namespace korvel {

inline constexpr int kRequestsPerBurst = 30;

// The requests of the current burst that are still awaited. A reply counts only when its
// originate repeats all 64 bits of an unanswered one's transmit timestamp.
class SentRequests {
public:
    struct Entry {
        NtpTimestamp transmit;
        double sentAt = 0.0;  // our own clock reading at the send, in NTP seconds
        bool answered = false;
    };

    void clear() { m_count = 0; }
    void add(NtpTimestamp transmit, double sentAt) {
        if (m_count < m_entries.size()) {
            m_entries[m_count++] = {transmit, sentAt, false};
        }
    }
    // The unanswered request whose transmit timestamp is originate; nullptr when none is.
    Entry* find(NtpTimestamp originate) {
        for (std::size_t i = 0; i < m_count; ++i) {
            if (!m_entries[i].answered && m_entries[i].transmit == originate) {
                return &m_entries[i];
            }
        }
        return nullptr;
    }

private:
    std::array<Entry, kRequestsPerBurst> m_entries{};
    std::size_t m_count = 0;
};

}  // namespace korvel
