// ColorQuantizer: an optimal palette of at most a given number of colours, found by feeding
// every pixel of a packed DIB into a colour octree and merging the deepest nodes whenever there
// are too many leaves. Decrease Bpp with an optimal palette hands the table to DecreaseBpp.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

class ColorQuantizer {
public:
    ColorQuantizer(unsigned nMaxColors, unsigned nColorBits);
    virtual ~ColorQuantizer();
    ColorQuantizer(const ColorQuantizer&) = delete;
    ColorQuantizer& operator=(const ColorQuantizer&) = delete;

    // False for a depth other than 1, 4, 8 or 24 (nothing is added then).
    bool AddImageColors(const void* pbDIB);
    // Writes the palette: the requested number of colours, or the leaf count when 16 or more
    // were requested. Nothing is written while the tree is empty.
    void GetColorTable(RGBQUAD* prgb);
    unsigned GetLeafCount() const { return m_nLeafCount; }

private:
    struct Node {
        bool bIsLeaf = false;
        // 64-bit sums: a large image of one bright colour overflows 32 bits.
        uint64_t nPixelCount = 0;
        uint64_t nRedSum = 0, nGreenSum = 0, nBlueSum = 0, nAlphaSum = 0;
        Node* pChild[8] = {};
        Node* pNext = nullptr;
    };

    void AddColor(BYTE r, BYTE g, BYTE b, BYTE a);
    Node* CreateNode(unsigned nLevel);
    // Merges the children of the deepest reducible node; false when no node is left to merge.
    bool ReduceTree();
    static void DeleteTree(Node* node);
    void VisitLeaves(const Node* node, RGBQUAD* out, uint64_t* counts, unsigned cap, unsigned& index) const;

    Node* m_pTree = nullptr;
    unsigned m_nLeafCount = 0;
    Node* m_pReducibleNodes[9] = {};
    unsigned m_nMaxColors;  // leaf limit: at least 16
    unsigned m_nOutputMaxColors;
    unsigned m_nColorBits;
};
