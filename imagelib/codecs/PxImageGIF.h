// GIF87a/89a files (format id 2): frame-by-frame reading with composition onto the logical
// screen, and GIF89a writing of single images, true-colour tiles and animations. The LZW
// decoder and the three encoders (LZW, run-length, uncompressed) are our own; the class spans
// PxImageGIF*.cpp, one file per job.
#pragma once

#include <vector>

#include "imagelib/pximage.h"

class PxImageGIF : public PxImage {
public:
    PxImageGIF();

    bool Decode(PxFile* fp);
    bool Decode(FILE* fp);
    bool Encode(PxFile* fp);
    bool Encode(FILE* fp);
    // An animation of pagecount images; with bLocalColorMap every frame after the first
    // carries its own colour table.
    bool Encode(PxFile* fp, PxImage** pImages, int pagecount, bool bLocalColorMap = false);
    bool Encode(FILE* fp, PxImage** pImages, int pagecount, bool bLocalColorMap = false);

    void SetLoops(int loops) { m_loops = loops; }
    int GetLoops() const { return m_loops; }
    void SetDisposalMethod(int dm) { m_dispmeth = dm; }
    int GetDisposalMethod() const { return m_dispmeth; }
    void SetComment(const char* sz_comment_in);
    void GetComment(char* sz_comment_out);

    // Format detection's test of a stream's first bytes: "GIF8" opening a whole screen descriptor.
    static bool HasSignature(const BYTE* head, size_t count);

protected:
    bool CodecDecode(PxFile* stream) override { return Decode(stream); }
    bool CodecEncode(PxFile* stream) override { return Encode(stream); }
    bool CodecEncodeMulti(PxFile* stream, PxImage** images, int count) override {
        return Encode(stream, images, count, false);
    }

    // ---- decoding ----
    bool DecodeExtension(PxFile* fp);
    // Reads past extensions and stray bytes to the next image descriptor: ',' or -1 at the
    // trailer, the end of the file or a broken extension.
    LONG NextBlock(PxFile* fp, bool& canIntroduce);
    int get_num_frames(PxFile* fp, int scrwidth, int scrheight, int tablecount, int* maxbits);
    LONG seek_next_image(PxFile* fp, LONG position);
    int decoder(PxFile* file, PxImage* frame, int linewidth, int& bad_code_count);
    int get_next_code(PxFile* file);
    int next_stream_byte(PxFile* file);
    void init_exp(int size);
    int get_byte(PxFile* file);
    int out_line(PxImage* frame, BYTE* pixels, int linelen);
    void GifMix(PxImage& imgsrc2, LONG lxOffset, LONG lyOffset);
    // The screen index of a frame's colour, found or added; false when the 256 are taken.
    // The screen's transparent entry is never chosen for an opaque colour.
    static bool MergeColour(RGBQUAD* pal, int& count, RGBQUAD c, BYTE* index, LONG transparent);
    // Paints a frame's colours onto a true-colour screen at (left, top).
    void PaintFrame(PxImage& frame, LONG left, LONG top, bool skipTransparent);

    // ---- encoding ----
    void EncodeHeader(PxFile* fp);
    void PutColourTable(PxFile* fp);
    void EncodeExtension(PxFile* fp);
    void EncodeLoopExtension(PxFile* fp);
    void EncodeComment(PxFile* fp);
    bool EncodeRGB(PxFile* fp);
    void EncodeBody(PxFile* fp, bool bLocalColorMap = false);
    // The next pixel's index, rows from the top of the picture down; -1 after the last one.
    int GifNextPixel() {
        if (m_encCountDown <= 0) return -1;
        --m_encCountDown;
        const int r = m_encRow ? m_encRow[m_encCurx] : m_pEncodeSrc->GetPixelIndex(m_encCurx, m_encCury);
        if (++m_encCurx == m_encWidth) {
            m_encCurx = 0;
            if (--m_encCury >= 0 && m_encRow) m_encRow = m_pEncodeSrc->GetBits(static_cast<DWORD>(m_encCury));
        }
        return r;
    }
    void Putword(int w, PxFile* fp);
    void startCodeStream(int init_bits, PxFile* outfile);
    void compressNONE(int init_bits, PxFile* outfile);
    void compressLZW(int init_bits, PxFile* outfile);
    void output(int code);
    void cl_hash(int32_t hsize);
    void char_out(int c);
    void flush_char();
    void compressRLE(int init_bits, PxFile* outfile);
    void rle_clear();
    void rle_flush();
    void rle_flush_withtable(int count);
    void rle_flush_clearorrep(int count);
    void rle_flush_fromclear(int count);
    void rle_output_plain(int c);
    void rle_reset_out_clear();
    void rle_output(int val);
    void rle_output_flush();
    void rle_block_out(BYTE c);
    void rle_block_flush();
    void rle_write_block();
    static unsigned int rle_compute_triangle_count(unsigned int count, unsigned int nrepcodes);
    static unsigned int rle_isqrt(unsigned int x);

    static constexpr int BAD_CODE_SIZE = -20;
    static constexpr int OUT_OF_MEMORY = -10;
    static constexpr int MAXBITSCODES = 12;
    static constexpr int GIFBUFTAM = 16383;
    static constexpr int MAX_CODES = 4096;
    static constexpr int HSIZE = 5003;

    // last graphic control extension
    BYTE m_gceFlags = 0;
    // The transparent index of the next frame: a control extension speaks for one image only.
    LONG m_frameTrans = -1;
    WORD m_gceDelay = 0;
    BYTE m_gceTransIndex = 0;

    // decoder line state
    int m_curx = 0, m_cury = 0;
    int m_interlaced = 0, m_iypos = 0, m_istep = 8, m_iheight = 0, m_ipass = 0;
    std::vector<BYTE> m_rowWritten;
    BYTE m_mixMap[256] = {};  // frame index -> screen index  // per frame row, from the top: reached by the data

    // read-ahead buffer
    BYTE m_buf[GIFBUFTAM + 1];
    int m_ibf = GIFBUFTAM + 1;
    int m_ibfmax = 0;

    // LZW decoder state
    int curr_size = 0, clear = 0, ending = 0, newcodes = 0, top_slot = 0, slot = 0;
    int navail_bytes = 0, nbits_left = 0;
    BYTE b1 = 0;
    BYTE byte_buff[257];
    int pbytes = 0;
    BYTE stack[MAX_CODES + 1];
    BYTE suffix[MAX_CODES + 1];
    WORD prefix[MAX_CODES + 1];

    // LZW encoder state
    int32_t htab[HSIZE];
    WORD codetab[HSIZE];
    int n_bits = 0, maxcode = 0, free_ent = 0, clear_flg = 0, g_init_bits = 0;
    PxFile* g_outfile = nullptr;
    int ClearCode = 0, EOFCode = 0;
    uint32_t cur_accum = 0;
    int cur_bits = 0;
    int a_count = 0;
    BYTE accum[256];
    // pixel feed
    PxImage* m_pEncodeSrc = nullptr;
    LONG m_encCurx = 0, m_encCury = 0, m_encWidth = 0;
    const BYTE* m_encRow = nullptr;  // the row being fed, when its bytes are the indices
    int64_t m_encCountDown = 0;
    bool m_writeError = false;

    // run-length encoder state
    int rl_pixel = 0, rl_basecode = 0, rl_count = 0, rl_table_pixel = 0, rl_table_max = 0;
    int just_cleared = 0, out_bits = 0, out_bits_init = 0, out_count = 0, out_bump = 0, out_bump_init = 0;
    int out_clear = 0, out_clear_init = 0, max_out_clear = 0, code_clear = 0, code_eof = 0;
    uint32_t obuf = 0;
    int obits = 0;
    BYTE oblock[256];
    int oblen = 0;

    char m_comment[256];
    int m_loops = 0;
    int m_dispmeth = 0;
};
