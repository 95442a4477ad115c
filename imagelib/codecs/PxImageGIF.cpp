// GIF codec object: its settings, the FILE overloads and the signature test of format detection.
// The reader, the LZW decoder, the file writer and the code writers each have a file of their own.
#include "imagelib/codecs/PxImageGIF.h"

#include <cstring>

PxImageGIF::PxImageGIF() : PxImage(PXIMAGE_FORMAT_GIF) {
    m_comment[0] = 0;
    std::memset(m_buf, 0, sizeof(m_buf));
    std::memset(byte_buff, 0, sizeof(byte_buff));
    std::memset(stack, 0, sizeof(stack));
    std::memset(suffix, 0, sizeof(suffix));
    std::memset(prefix, 0, sizeof(prefix));
    std::memset(htab, 0, sizeof(htab));
    std::memset(codetab, 0, sizeof(codetab));
    std::memset(accum, 0, sizeof(accum));
    std::memset(oblock, 0, sizeof(oblock));
}

void PxImageGIF::SetComment(const char* sz_comment_in) {
    if (!sz_comment_in) return;
    std::strncpy(m_comment, sz_comment_in, 255);
    m_comment[255] = 0;
}

void PxImageGIF::GetComment(char* sz_comment_out) {
    if (!sz_comment_out) return;
    std::strncpy(sz_comment_out, m_comment, 255);
    sz_comment_out[255] = 0;
}

bool PxImageGIF::HasSignature(const BYTE* head, size_t count) {
    return count >= 13 && std::memcmp(head, "GIF8", 4) == 0;
}

bool PxImageGIF::Decode(FILE* fp) {
    PxIOFile f(fp);
    return Decode(&f);
}

bool PxImageGIF::Encode(FILE* fp) {
    PxIOFile f(fp);
    return Encode(&f);
}

bool PxImageGIF::Encode(FILE* fp, PxImage** pImages, int pagecount, bool bLocalColorMap) {
    PxIOFile f(fp);
    return Encode(&f, pImages, pagecount, bLocalColorMap);
}
