// GIF reading: the LZW decoder, which expands a frame's code stream from its data sub-blocks into
// rows of the frame, interlaced or not.
#include "imagelib/codecs/PxImageGIF.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

const int code_mask[13] = {0, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F,
                           0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF, 0x0FFF};

}  // namespace

void PxImageGIF::init_exp(int size) {
    curr_size = size + 1;
    top_slot = 1 << curr_size;
    clear = 1 << size;
    ending = clear + 1;
    slot = newcodes = ending + 1;
    navail_bytes = nbits_left = 0;
    std::memset(stack, 0, sizeof(stack));
    std::memset(prefix, 0, sizeof(prefix));
    std::memset(suffix, 0, sizeof(suffix));
}

int PxImageGIF::get_byte(PxFile* file) {
    if (m_ibf >= GIFBUFTAM) {
        m_ibfmax = static_cast<int>(file->Read(m_buf, 1, GIFBUFTAM));
        if (m_ibfmax < GIFBUFTAM) m_buf[m_ibfmax] = 255;
        m_ibf = 0;
    }
    if (m_ibf >= m_ibfmax) return -1;
    return m_buf[m_ibf++];
}

// The next byte of the code stream, reading the next data sub-block when the current one is
// used up; negative is a read error. An empty sub-block leaves the count below zero, which ends
// the stream.
int PxImageGIF::next_stream_byte(PxFile* file) {
    if (navail_bytes <= 0) {
        pbytes = 0;
        if ((navail_bytes = get_byte(file)) < 0) return navail_bytes;
        for (int i = 0; i < navail_bytes; ++i) {
            const int x = get_byte(file);
            if (x < 0) return x;
            byte_buff[i] = static_cast<BYTE>(x);
        }
    }
    --navail_bytes;
    return byte_buff[pbytes++];
}

int PxImageGIF::get_next_code(PxFile* file) {
    if (nbits_left == 0) {
        const int x = next_stream_byte(file);
        if (x < 0) return x;
        b1 = static_cast<BYTE>(x);
        nbits_left = 8;
    }
    if (navail_bytes < 0) return ending;  // past the end of the data
    int ret = b1 >> (8 - nbits_left);
    while (curr_size > nbits_left) {
        const int x = next_stream_byte(file);
        if (x < 0) return x;
        b1 = static_cast<BYTE>(x);
        ret |= b1 << nbits_left;
        nbits_left += 8;
    }
    nbits_left -= curr_size;
    ret &= code_mask[curr_size];
    return ret;
}

int PxImageGIF::decoder(PxFile* file, PxImage* frame, int linewidth, int& bad_code_count) {
    bad_code_count = 0;
    const int size = get_byte(file);
    if (size < 0) return size;
    if (size < 2 || 9 < size) return BAD_CODE_SIZE;
    init_exp(size);

    std::unique_ptr<BYTE[]> buf(new (std::nothrow) BYTE[static_cast<size_t>(linewidth) + 1]);
    if (!buf) return OUT_OF_MEMORY;
    BYTE* bufptr = buf.get();
    int bufcnt = linewidth;
    BYTE* sp = stack;
    BYTE* const stackEnd = stack + MAX_CODES;
    int oc = 0, fc = 0, c, ret = 0;

    auto emit = [&](BYTE v) -> int {
        *bufptr++ = v;
        if (--bufcnt == 0) {
            const int r = out_line(frame, buf.get(), linewidth);
            if (r < 0) return r;
            bufptr = buf.get();
            bufcnt = linewidth;
        }
        return 0;
    };

    while ((c = get_next_code(file)) != ending) {
        if (c < 0) return 0;
        if (c == clear) {
            curr_size = size + 1;
            slot = newcodes;
            top_slot = 1 << curr_size;
            while ((c = get_next_code(file)) == clear) {
            }
            if (c == ending) break;
            if (c < 0) return 0;
            if (c >= slot) c = 0;
            oc = fc = c;
            if ((ret = emit(static_cast<BYTE>(c))) < 0) return ret;
        } else {
            int code = c;
            if (code >= slot) {
                if (code > slot) ++bad_code_count;
                code = oc;
                *sp++ = static_cast<BYTE>(fc);
            }
            while (code >= newcodes && sp < stackEnd) {
                *sp++ = suffix[code];
                code = prefix[code];
            }
            if (sp < stackEnd) *sp++ = static_cast<BYTE>(code);
            if (slot < top_slot) {
                suffix[slot] = static_cast<BYTE>(fc = code);
                prefix[slot++] = static_cast<WORD>(oc);
                oc = c;
            }
            if (slot >= top_slot && curr_size < 12) {
                top_slot <<= 1;
                ++curr_size;
            }
            while (sp > stack) {
                --sp;
                if ((ret = emit(*sp)) < 0) return ret;
            }
        }
    }
    if (bufcnt != linewidth) ret = out_line(frame, buf.get(), linewidth - bufcnt);
    return ret;
}

int PxImageGIF::out_line(PxImage* frame, BYTE* pixels, int linelen) {
    if (!frame || !frame->IsValid()) return -1;
    const int bpp = frame->GetBpp();
    // Pack the indices in place for the smaller depths.
    if (bpp == 1) {
        int n = 0;
        for (int x = 0; x < linelen; x += 8) {
            BYTE v = 0;
            for (int k = 0; k < 8; k++)
                if (x + k < linelen && (pixels[x + k] & 1)) v |= static_cast<BYTE>(0x80 >> k);
            pixels[n++] = v;
        }
        linelen = n;
    } else if (bpp == 4) {
        int n = 0;
        for (int x = 0; x < linelen; x += 2) {
            BYTE v = static_cast<BYTE>((pixels[x] & 15) << 4);
            if (x + 1 < linelen) v |= pixels[x + 1] & 15;
            pixels[n++] = v;
        }
        linelen = n;
    }
    const int rowbytes = static_cast<int>(frame->GetEffWidth());
    const int ncopy = (linelen < 0 || linelen >= rowbytes) ? rowbytes : linelen;

    if (m_interlaced) {
        // Four passes over rows 0, 8, ...; 4, 12, ...; 2, 6, ...; 1, 3, ...
        if (m_ipass >= 4) return -1;
        if (m_iypos < m_iheight) {
            BYTE* row = frame->GetBits(static_cast<DWORD>(m_iheight - m_iypos - 1));
            if (row) std::memcpy(row, pixels, static_cast<size_t>(ncopy));
            if (static_cast<size_t>(m_iypos) < m_rowWritten.size()) m_rowWritten[static_cast<size_t>(m_iypos)] = 1;
        }
        if ((m_iypos += m_istep) >= m_iheight) {
            do {
                if (m_ipass++ > 0) m_istep /= 2;
                if (m_ipass >= 4) break;
                m_iypos = m_istep / 2;
            } while (m_iypos >= m_iheight);  // a pass without rows takes no line
        }
        return 0;
    }
    if (m_cury < 0) return -1;
    BYTE* row = frame->GetBits(static_cast<DWORD>(m_cury));
    if (!row) return -1;
    std::memcpy(row, pixels, static_cast<size_t>(ncopy));
    const size_t fromTop = static_cast<size_t>(m_iheight - 1 - m_cury);
    if (fromTop < m_rowWritten.size()) m_rowWritten[fromTop] = 1;
    m_cury--;
    return 0;
}
