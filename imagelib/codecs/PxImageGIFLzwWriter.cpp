// GIF writing: the LZW code stream, and the uncompressed stream that writes the same codes
// without building a table.
#include "imagelib/codecs/PxImageGIF.h"

namespace {

inline int MAXCODE(int n_bits) { return (1 << n_bits) - 1; }

}  // namespace

// ---- uncompressed codes ----

// The code-stream state both the uncompressed and the LZW encoder start from.
void PxImageGIF::startCodeStream(int init_bits, PxFile* outfile) {
    g_init_bits = init_bits;
    g_outfile = outfile;
    n_bits = g_init_bits;
    maxcode = MAXCODE(n_bits);
    ClearCode = 1 << (init_bits - 1);
    EOFCode = ClearCode + 1;
    free_ent = ClearCode + 2;
    clear_flg = 0;
    cur_accum = 0;
    cur_bits = 0;
    a_count = 0;
}

void PxImageGIF::compressNONE(int init_bits, PxFile* outfile) {
    startCodeStream(init_bits, outfile);

    output(ClearCode);
    int c;
    while ((c = GifNextPixel()) != -1) {
        output(c);
        if (free_ent > (1 << MAXBITSCODES) - 1) {
            free_ent = ClearCode + 2;
            clear_flg = 1;
            output(ClearCode);
        } else {
            free_ent++;
        }
    }
    output(EOFCode);
}

// ---- LZW ----

void PxImageGIF::compressLZW(int init_bits, PxFile* outfile) {
    startCodeStream(init_bits, outfile);

    int ent = GifNextPixel();
    int hshift = 0;
    for (int32_t fcode = HSIZE; fcode < 65536L; fcode *= 2) ++hshift;
    hshift = 8 - hshift;
    cl_hash(HSIZE);
    output(ClearCode);

    int c;
    while ((c = GifNextPixel()) != -1) {
        const int32_t fcode = (static_cast<int32_t>(c) << MAXBITSCODES) + ent;
        int i = (c << hshift) ^ ent;
        bool found = false;
        if (htab[i] == fcode) {
            ent = codetab[i];
            continue;
        } else if (htab[i] >= 0) {
            int disp = HSIZE - i;
            if (i == 0) disp = 1;
            do {
                if ((i -= disp) < 0) i += HSIZE;
                if (htab[i] == fcode) {
                    ent = codetab[i];
                    found = true;
                    break;
                }
            } while (htab[i] > 0);
        }
        if (found) continue;
        output(ent);
        ent = c;
        if (free_ent < (1 << MAXBITSCODES)) {
            codetab[i] = static_cast<WORD>(free_ent++);
            htab[i] = fcode;
        } else {
            cl_hash(HSIZE);
            free_ent = ClearCode + 2;
            clear_flg = 1;
            output(ClearCode);
        }
    }
    if (ent >= 0) output(ent);
    output(EOFCode);
}

void PxImageGIF::cl_hash(int32_t hsize) {
    for (int32_t i = 0; i < hsize; i++) htab[i] = -1;
}

void PxImageGIF::output(int code) {
    cur_accum &= (1u << cur_bits) - 1;
    cur_accum |= static_cast<uint32_t>(code) << cur_bits;
    cur_bits += n_bits;
    while (cur_bits >= 8) {
        char_out(static_cast<int>(cur_accum & 0xFF));
        cur_accum >>= 8;
        cur_bits -= 8;
    }
    // The width grows when the next code no longer fits, and drops back after a clear.
    if (free_ent > maxcode || clear_flg) {
        if (clear_flg) {
            maxcode = MAXCODE(n_bits = g_init_bits);
            clear_flg = 0;
        } else {
            ++n_bits;
            maxcode = n_bits == MAXBITSCODES ? (1 << MAXBITSCODES) : MAXCODE(n_bits);
        }
    }
    if (code == EOFCode) {
        while (cur_bits > 0) {
            char_out(static_cast<int>(cur_accum & 0xFF));
            cur_accum >>= 8;
            cur_bits -= 8;
        }
        flush_char();
        g_outfile->Flush();
        if (g_outfile->Error()) {
            m_writeError = true;
            SetLastError("Write Error in GIF file");
        }
    }
}

void PxImageGIF::char_out(int c) {
    accum[a_count++] = static_cast<BYTE>(c);
    if (a_count >= 254) flush_char();
}

void PxImageGIF::flush_char() {
    if (a_count > 0) {
        if (!g_outfile->PutC(static_cast<unsigned char>(a_count))) m_writeError = true;
        if (g_outfile->Write(accum, 1, static_cast<size_t>(a_count)) != static_cast<size_t>(a_count))
            m_writeError = true;
        a_count = 0;
    }
}
