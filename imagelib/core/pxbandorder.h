// The order in which a row-band runner's workers take bands.
#pragma once

#include <algorithm>
#include <atomic>

#include "platform/wintypes.h"

namespace pxgeo {

// The order in which workers take bands: grab g goes to section g mod sections, so the bands in
// work at one time lie in different parts of the result. Neighbouring bands would share the
// result's fresh (huge) pages, and every thread would wait while one of them faults a page in.
class BandOrder {
public:
    BandOrder(LONG nrows, LONG band, unsigned sections)
        : m_nrows(nrows), m_band(band), m_sections(std::max<LONG>(1, static_cast<LONG>(sections))) {
        const LONG nbands = (nrows + band - 1) / band;
        m_perSection = (nbands + m_sections - 1) / m_sections;
    }
    // The first row of the next band, or -1 when every band is taken.
    LONG Next() {
        for (;;) {
            const LONG g = m_next.fetch_add(1);
            if (g >= m_perSection * m_sections) return -1;
            const LONG first = ((g % m_sections) * m_perSection + g / m_sections) * m_band;
            if (first < m_nrows) return first;
        }
    }

private:
    LONG m_nrows, m_band, m_sections, m_perSection = 0;
    std::atomic<LONG> m_next{0};
};

}  // namespace pxgeo
