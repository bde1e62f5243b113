#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace korvel {

// The datagram a socket hands to its arrival handler: received into buffer(), readable once
// and only while the handler runs.
class HeldDatagram {
public:
    HeldDatagram() : m_bytes(65536) {}

    std::span<std::uint8_t> buffer() { return m_bytes; }

    // Holds the received datagram for read() while the handler runs. `size` is its size on
    // the wire, which the handler is told even when the buffer kept less.
    template <typename Handler>
    void deliver(std::int32_t size, const Handler& handler) {
        m_size = std::min<std::int32_t>(size, static_cast<std::int32_t>(m_bytes.size()));
        handler(size);
        m_size = -1;
    }

    void drop() { m_size = -1; }

    // The bytes copied, -1 when no datagram is held.
    std::int32_t read(std::span<std::uint8_t> out) {
        if (m_size < 0) {
            return -1;
        }
        const auto count = std::min<std::size_t>(out.size(), static_cast<std::size_t>(m_size));
        std::memcpy(out.data(), m_bytes.data(), count);
        m_size = -1;
        return static_cast<std::int32_t>(count);
    }

private:
    std::vector<std::uint8_t> m_bytes;
    std::int32_t m_size = -1;
};

}  // namespace korvel
