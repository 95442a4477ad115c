#include "capture/frameratemeter.h"

double CFrameRateMeter::AddFrame(uint64_t tickMs) {
    // The first frame may have waited in the device since any moment of its interval, and the
    // time up to the next one is then only part of an interval: timing starts at the second.
    if (!m_bFirstSeen) {
        m_bFirstSeen = true;
        return m_dFps;
    }
    const size_t size = m_ticks.size();
    if (m_nTicks > 0 && tickMs <= m_ticks[(m_nOldest + m_nTicks - 1) % size]) return m_dFps;
    if (m_nTicks == size) {
        m_nOldest = (m_nOldest + 1) % size;
        --m_nTicks;
    }
    m_ticks[(m_nOldest + m_nTicks) % size] = tickMs;
    ++m_nTicks;
    if (m_nTicks >= 2) {
        const uint64_t span = tickMs - m_ticks[m_nOldest];
        m_dFps = 1000.0 * static_cast<double>(m_nTicks - 1) / static_cast<double>(span);
    }
    return m_dFps;
}
