#include "imagelib/ops/quantize/colorquantizer.h"

#include <algorithm>
#include <cstring>

ColorQuantizer::ColorQuantizer(unsigned nMaxColors, unsigned nColorBits)
    : m_nMaxColors(std::max(nMaxColors, 16u)), m_nOutputMaxColors(nMaxColors), m_nColorBits(std::min(nColorBits, 8u)) {}

ColorQuantizer::~ColorQuantizer() { DeleteTree(m_pTree); }

void ColorQuantizer::DeleteTree(Node* node) {
    if (node == nullptr) return;
    for (Node* child : node->pChild) DeleteTree(child);
    delete node;
}

ColorQuantizer::Node* ColorQuantizer::CreateNode(unsigned nLevel) {
    Node* node = new Node();
    node->bIsLeaf = nLevel == m_nColorBits;
    if (node->bIsLeaf) {
        m_nLeafCount++;
    } else {
        node->pNext = m_pReducibleNodes[nLevel];
        m_pReducibleNodes[nLevel] = node;
    }
    return node;
}

void ColorQuantizer::AddColor(BYTE r, BYTE g, BYTE b, BYTE a) {
    if (m_pTree == nullptr) m_pTree = CreateNode(0);
    Node* node = m_pTree;
    unsigned level = 0;
    while (!node->bIsLeaf) {
        const unsigned shift = 7 - level;
        const BYTE mask = static_cast<BYTE>(0x80 >> level);
        const unsigned index = (((r & mask) >> shift) << 2) | (((g & mask) >> shift) << 1) | ((b & mask) >> shift);
        if (node->pChild[index] == nullptr) node->pChild[index] = CreateNode(level + 1);
        node = node->pChild[index];
        level++;
    }
    node->nPixelCount++;
    node->nRedSum += r;
    node->nGreenSum += g;
    node->nBlueSum += b;
    node->nAlphaSum += a;
}

bool ColorQuantizer::ReduceTree() {
    int level = static_cast<int>(m_nColorBits) - 1;
    while (level > 0 && m_pReducibleNodes[level] == nullptr) level--;
    if (level < 0) return false;
    Node* node = m_pReducibleNodes[level];
    if (node == nullptr) return false;  // nothing left to merge
    m_pReducibleNodes[level] = node->pNext;
    node->pNext = nullptr;

    unsigned children = 0;
    for (Node*& child : node->pChild) {
        if (child == nullptr) continue;
        node->nRedSum += child->nRedSum;
        node->nGreenSum += child->nGreenSum;
        node->nBlueSum += child->nBlueSum;
        node->nAlphaSum += child->nAlphaSum;
        node->nPixelCount += child->nPixelCount;
        DeleteTree(child);
        child = nullptr;
        children++;
    }
    node->bIsLeaf = true;
    m_nLeafCount = m_nLeafCount + 1 - children;
    return true;
}

bool ColorQuantizer::AddImageColors(const void* pbDIB) {
    if (pbDIB == nullptr) return false;
    BITMAPINFOHEADER bih;
    memcpy(&bih, pbDIB, sizeof(bih));
    const unsigned depth = bih.biBitCount;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24) return false;

    const BYTE* base = static_cast<const BYTE*>(pbDIB);
    const int64_t width = bih.biWidth;
    const int64_t height = bih.biHeight < 0 ? -static_cast<int64_t>(bih.biHeight) : bih.biHeight;
    if (width <= 0 || height <= 0) return true;
    const size_t stride = static_cast<size_t>((width * depth + 31) / 32 * 4);
    const BYTE* bits = base + bih.biSize + static_cast<size_t>(bih.biClrUsed) * 4;
    const BYTE* palette = base + 40;
    const unsigned ncolors = bih.biClrUsed ? bih.biClrUsed : (1u << depth);

    for (int64_t i = 0; i < height; i++) {
        const BYTE* row = bits + static_cast<size_t>(i) * stride;
        for (int64_t x = 0; x < width; x++) {
            if (depth == 24) {
                AddColor(row[3 * x + 2], row[3 * x + 1], row[3 * x], 0);
            } else {
                unsigned index;
                if (depth == 8)
                    index = row[x];
                else if (depth == 4)
                    index = (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
                else
                    index = (row[x / 8] >> (7 - (x % 8))) & 1;
                if (index >= ncolors) index = 0;  // a colour the palette does not hold
                const BYTE* e = palette + 4 * static_cast<size_t>(index);
                AddColor(e[2], e[1], e[0], e[3]);
            }
            while (m_nLeafCount > m_nMaxColors && ReduceTree()) {
            }
        }
    }
    return true;
}

void ColorQuantizer::VisitLeaves(const Node* node, RGBQUAD* out, uint64_t* counts, unsigned cap,
                                 unsigned& index) const {
    if (node == nullptr) return;
    if (node->bIsLeaf) {
        if (index < cap && node->nPixelCount > 0) {
            const uint64_t n = node->nPixelCount;
            out[index].rgbRed = static_cast<BYTE>(node->nRedSum / n);
            out[index].rgbGreen = static_cast<BYTE>(node->nGreenSum / n);
            out[index].rgbBlue = static_cast<BYTE>(node->nBlueSum / n);
            out[index].rgbReserved = static_cast<BYTE>(node->nAlphaSum / n);
            if (counts) counts[index] = n;
        }
        index++;
        return;
    }
    for (const Node* child : node->pChild) VisitLeaves(child, out, counts, cap, index);
}

void ColorQuantizer::GetColorTable(RGBQUAD* prgb) {
    if (prgb == nullptr || m_pTree == nullptr) return;
    if (m_nOutputMaxColors >= 16) {
        unsigned index = 0;
        VisitLeaves(m_pTree, prgb, nullptr, m_nMaxColors, index);
        return;
    }
    RGBQUAD scratch[16] = {};
    uint64_t counts[16] = {};
    unsigned leaves = 0;
    VisitLeaves(m_pTree, scratch, counts, 16, leaves);
    leaves = std::min(leaves, 16u);
    if (leaves <= m_nOutputMaxColors) {
        memcpy(prgb, scratch, sizeof(RGBQUAD) * leaves);
        return;
    }
    for (unsigned j = 0; j < m_nOutputMaxColors; j++) {
        const unsigned a = j * leaves / m_nOutputMaxColors;
        const unsigned b = (j + 1) * leaves / m_nOutputMaxColors;
        uint64_t sr = 0, sg = 0, sb = 0, sa = 0, sum = 0;
        for (unsigned k = a; k < b; k++) {
            sr += static_cast<uint64_t>(scratch[k].rgbRed) * counts[k];
            sg += static_cast<uint64_t>(scratch[k].rgbGreen) * counts[k];
            sb += static_cast<uint64_t>(scratch[k].rgbBlue) * counts[k];
            sa += static_cast<uint64_t>(scratch[k].rgbReserved) * counts[k];
            sum += counts[k];
        }
        if (sum == 0) continue;
        prgb[j].rgbRed = static_cast<BYTE>(sr / sum);
        prgb[j].rgbGreen = static_cast<BYTE>(sg / sum);
        prgb[j].rgbBlue = static_cast<BYTE>(sb / sum);
        prgb[j].rgbReserved = static_cast<BYTE>(sa / sum);
    }
}
