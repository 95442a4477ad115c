#include "platform/framemailbox.h"

#include <chrono>
#include <utility>

void CFrameMailbox::Reset(uint8_t* slot) {
    std::lock_guard<std::mutex> g(m_lock);
    m_pSlot = slot;
    m_nSequence = 0;
    m_bReady = false;
}

bool CFrameMailbox::Put(uint8_t*& buffer, uint64_t sequence) {
    bool replaced;
    {
        std::lock_guard<std::mutex> g(m_lock);
        std::swap(buffer, m_pSlot);
        std::swap(sequence, m_nSequence);
        replaced = m_bReady;
        m_bReady = true;
    }
    m_changed.notify_one();
    return replaced;
}

CFrameMailbox::TakeResult CFrameMailbox::Take(uint8_t*& buffer, uint64_t* sequence, int timeoutMs) {
    std::unique_lock<std::mutex> g(m_lock);
    const auto ready = [this] { return m_bReady || m_bStopped; };
    if (timeoutMs < 0)
        m_changed.wait(g, ready);
    else if (!m_changed.wait_for(g, std::chrono::milliseconds(timeoutMs), ready))
        return kTimedOut;
    if (m_bStopped)
        return kStopped;
    std::swap(buffer, m_pSlot);
    if (sequence)
        *sequence = m_nSequence;
    m_bReady = false;
    return kFrame;
}

void CFrameMailbox::Discard() {
    std::lock_guard<std::mutex> g(m_lock);
    m_bReady = false;
}

void CFrameMailbox::Stop() {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_bStopped = true;
    }
    m_changed.notify_all();
}

void CFrameMailbox::Restart() {
    std::lock_guard<std::mutex> g(m_lock);
    m_bStopped = false;
    m_bReady = false;
}

bool CFrameMailbox::Stopped() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_bStopped;
}
