// GIF writing: the run-length code stream, which writes runs with only the codes the decoder's
// table is known to hold, so every reader expands them alike.
#include "imagelib/codecs/PxImageGIF.h"

void PxImageGIF::compressRLE(int init_bits, PxFile* outfile) {
    g_init_bits = init_bits;
    g_outfile = outfile;
    obuf = 0;
    obits = 0;
    oblen = 0;
    code_clear = 1 << (init_bits - 1);
    code_eof = code_clear + 1;
    rl_basecode = code_eof + 1;
    out_bump_init = (1 << (init_bits - 1)) - 1;
    out_clear_init = (init_bits <= 3) ? 9 : (out_bump_init - 1);
    out_bits_init = init_bits;
    max_out_clear = (1 << MAXBITSCODES) - ((1 << (out_bits_init - 1)) + 3);
    rl_count = 0;
    rl_pixel = 0;
    out_bits = out_bits_init;
    rle_output(code_clear);
    rle_clear();
    int c;
    while ((c = GifNextPixel()) != -1) {
        // A run is flushed before its count can overflow (a picture may hold 2^32 pixels).
        if (rl_count > 0 && (c != rl_pixel || rl_count >= (1 << 28))) rle_flush();
        if (rl_pixel == c) {
            rl_count++;
        } else {
            rl_pixel = c;
            rl_count = 1;
        }
    }
    if (rl_count > 0) rle_flush();
    rle_output(code_eof);
    rle_output_flush();
}

void PxImageGIF::rle_clear() {
    out_bits = out_bits_init;
    out_bump = out_bump_init;
    out_clear = out_clear_init;
    out_count = 0;
    rl_table_max = 0;
    just_cleared = 1;
}

void PxImageGIF::rle_output_plain(int c) {
    just_cleared = 0;
    rle_output(c);
    out_count++;
    if (out_count >= out_bump) {
        out_bits++;
        out_bump += 1 << (out_bits - 1);
    }
    if (out_count >= out_clear) {
        rle_output(code_clear);
        rle_clear();
    }
}

void PxImageGIF::rle_reset_out_clear() {
    out_clear = out_clear_init;
    if (out_count >= out_clear) {
        rle_output(code_clear);
        rle_clear();
    }
}

void PxImageGIF::rle_flush_fromclear(int count) {
    out_clear = max_out_clear;
    rl_table_pixel = rl_pixel;
    int n = 1;
    while (count > 0) {
        if (n == 1) {
            rl_table_max = 1;
            rle_output_plain(rl_pixel);
            count--;
        } else if (count >= n) {
            rl_table_max = n;
            rle_output_plain(rl_basecode + n - 2);
            count -= n;
        } else if (count == 1) {
            rl_table_max++;
            rle_output_plain(rl_pixel);
            count = 0;
        } else {
            rl_table_max++;
            rle_output_plain(rl_basecode + count - 2);
            count = 0;
        }
        if (out_count == 0) n = 1;
        else n++;
    }
    rle_reset_out_clear();
}

void PxImageGIF::rle_flush_clearorrep(int count) {
    const int withclr = 1 + static_cast<int>(rle_compute_triangle_count(static_cast<unsigned>(count),
                                                                        static_cast<unsigned>(max_out_clear)));
    if (withclr < count) {
        rle_output(code_clear);
        rle_clear();
        rle_flush_fromclear(count);
    } else {
        for (; count > 0; count--) rle_output_plain(rl_pixel);
    }
}

void PxImageGIF::rle_flush_withtable(int count) {
    int repmax = count / rl_table_max;
    int leftover = count % rl_table_max;
    int repleft = leftover ? 1 : 0;
    if (out_count + repmax + repleft > max_out_clear) {
        repmax = max_out_clear - out_count;
        leftover = count - (repmax * rl_table_max);
        repleft = 1 + static_cast<int>(rle_compute_triangle_count(static_cast<unsigned>(leftover),
                                                                   static_cast<unsigned>(max_out_clear)));
    }
    if (1 + static_cast<int>(rle_compute_triangle_count(static_cast<unsigned>(count),
                                                        static_cast<unsigned>(max_out_clear))) <
        repmax + repleft) {
        rle_output(code_clear);
        rle_clear();
        rle_flush_fromclear(count);
        return;
    }
    out_clear = max_out_clear;
    for (; repmax > 0; repmax--) rle_output_plain(rl_basecode + rl_table_max - 2);
    if (leftover) {
        if (just_cleared) rle_flush_fromclear(leftover);
        else if (leftover == 1) rle_output_plain(rl_pixel);
        else rle_output_plain(rl_basecode + leftover - 2);
    }
    rle_reset_out_clear();
}

void PxImageGIF::rle_flush() {
    if (rl_count == 1) {
        rle_output_plain(rl_pixel);
        rl_count = 0;
        return;
    }
    if (just_cleared) rle_flush_fromclear(rl_count);
    else if (rl_table_max < 2 || rl_table_pixel != rl_pixel) rle_flush_clearorrep(rl_count);
    else rle_flush_withtable(rl_count);
    rl_count = 0;
}

unsigned int PxImageGIF::rle_isqrt(unsigned int x) {
    if (x < 2) return x;
    unsigned int r = 1;
    while (r * r <= x / 4) r *= 2;  // a start below the root
    for (;;) {
        const unsigned int v = (x / r + r) / 2;
        if (v == r || v == r + 1) return r;
        r = v;
    }
}

unsigned int PxImageGIF::rle_compute_triangle_count(unsigned int count, unsigned int nrepcodes) {
    unsigned int cost = 0;
    const unsigned int perrep = (nrepcodes * (nrepcodes + 1)) / 2;
    while (count >= perrep) {
        cost += nrepcodes;
        count -= perrep;
    }
    if (count > 0) {
        unsigned int n = rle_isqrt(count);
        while ((n * (n + 1)) >= 2 * count) n--;
        while ((n * (n + 1)) < 2 * count) n++;
        cost += n;
    }
    return cost;
}

void PxImageGIF::rle_output(int val) {
    obuf |= static_cast<uint32_t>(val) << obits;
    obits += out_bits;
    while (obits >= 8) {
        rle_block_out(static_cast<BYTE>(obuf & 0xFF));
        obuf >>= 8;
        obits -= 8;
    }
}

void PxImageGIF::rle_output_flush() {
    if (obits > 0) rle_block_out(static_cast<BYTE>(obuf & 0xFF));
    obuf = 0;
    obits = 0;
    rle_block_flush();
    g_outfile->Flush();
    if (g_outfile->Error()) {
        m_writeError = true;
        SetLastError("Write Error in GIF file");
    }
}

void PxImageGIF::rle_block_out(BYTE c) {
    oblock[oblen++] = c;
    if (oblen >= 255) rle_write_block();
}

void PxImageGIF::rle_block_flush() {
    if (oblen > 0) rle_write_block();
}

void PxImageGIF::rle_write_block() {
    if (!g_outfile->PutC(static_cast<unsigned char>(oblen))) m_writeError = true;
    if (g_outfile->Write(oblock, 1, static_cast<size_t>(oblen)) != static_cast<size_t>(oblen)) m_writeError = true;
    oblen = 0;
}
