#pragma once

#include <array>
#include <cstddef>

#include "sntp/sntp_packet.h"

namespace korvel {

inline constexpr int kRequestsPerBurst = 30;

// The requests of the current burst that are still awaited. A reply counts only when it comes
// from the server its request went to and its originate repeats all 64 bits of that request's
// transmit timestamp.
class SentRequests {
public:
    struct Entry {
        NtpTimestamp transmit;
        double sentAt = 0.0;  // our own clock reading at the send, in NTP seconds
        int server = 0;
        bool answered = false;
    };

    void clear() { m_count = 0; }
    void add(NtpTimestamp transmit, double sentAt, int server) {
        if (m_count < m_entries.size()) {
            m_entries[m_count++] = {transmit, sentAt, server, false};
        }
    }
    // The unanswered request to the server whose transmit timestamp is originate; nullptr
    // when none is.
    Entry* find(NtpTimestamp originate, int server) {
        for (std::size_t i = 0; i < m_count; ++i) {
            Entry& entry = m_entries[i];
            if (!entry.answered && entry.server == server && entry.transmit == originate) {
                return &entry;
            }
        }
        return nullptr;
    }

private:
    std::array<Entry, kRequestsPerBurst> m_entries{};
    std::size_t m_count = 0;
};

}  // namespace korvel
