// The hand-over of the newest frame from a producing thread to a consuming one. Frames travel
// as buffer pointers: a put exchanges the producer's buffer with the one in the slot, a take
// exchanges the consumer's buffer with it, so no pixels are copied and every buffer stays
// owned by whoever allocated the three. A put over a frame nobody took replaces it (the
// producer gets the older frame back to write over): a slow consumer drops frames instead of
// holding up the producer. Nobody sleeps in a loop: a take waits on a condition variable until
// a frame comes, its deadline passes or the mailbox is stopped.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

class CFrameMailbox {
public:
    enum TakeResult { kFrame, kTimedOut, kStopped };

    // Empties the slot and gives it `slot` (may be null) as its spare buffer; stop is kept.
    void Reset(uint8_t* slot);
    // Hands a frame over: `buffer` and `sequence` change places with the slot's. True when a
    // frame nobody took was replaced (and comes back in `buffer`).
    bool Put(uint8_t*& buffer, uint64_t sequence = 0);
    // Waits for a frame not yet taken and exchanges `buffer` (and the sequence) with it.
    // timeoutMs < 0 waits without a deadline, 0 only looks. kStopped at once after Stop.
    TakeResult Take(uint8_t*& buffer, uint64_t* sequence = nullptr, int timeoutMs = -1);
    // Drops a frame that was not taken.
    void Discard();
    // Wakes every waiter; later takes return kStopped at once until Restart.
    void Stop();
    // Takes may wait again; a frame left from before is dropped.
    void Restart();
    bool Stopped() const;

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    uint8_t* m_pSlot = nullptr;
    uint64_t m_nSequence = 0;
    bool m_bReady = false;
    bool m_bStopped = false;
};
