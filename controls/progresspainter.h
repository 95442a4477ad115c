// Draws a progress bar as a multi-colour gradient, with an optional moving block and a centred
// two-colour text. Plain object: the gradient progress control embeds one and forwards the
// progress-bar operations to it; it can also paint on its own with its own style word.
#pragma once

#include <QBrush>
#include <QFont>
#include <QRect>
#include <QRegion>
#include <QString>

#include <optional>
#include <vector>

#include "platform/wintypes.h"

class QPainter;

// Style bits (the low word of the control's window style).
constexpr DWORD PBS_VERTICAL = 0x0004;
constexpr DWORD PBS_TEXT_LEFT = 0x0010;
constexpr DWORD PBS_TEXT_RIGHT = 0x0020;
constexpr DWORD PBS_TEXT_TOP = 0x0040;
constexpr DWORD PBS_TEXT_BOTTOM = 0x0080;
constexpr DWORD PBS_TEXT_PERCENT = 0x0100;
constexpr DWORD PBS_TEXT_POSITION = 0x0200;
constexpr DWORD PBS_TEXT_ONLY = 0x0300;
constexpr DWORD PBS_TEXT_MASK = 0x0300;
constexpr DWORD PBS_TEXT_ON_BAR = 0x1000;    // text centred in the filled part
constexpr DWORD PBS_GRADIENT_FILLED = 0x2000;  // gradient spans the filled part only
constexpr DWORD PBS_REVERSE = 0x4000;
constexpr DWORD PBS_BLOCK = 0x8000;            // moving-block mode

// One solid run of a gradient, in bar pixels [from, to).
struct GradientFill {
    int from;
    int to;
    COLORREF color;
    bool operator==(const GradientFill& o) const { return from == o.from && to == o.to && color == o.color; }
};

class CProgressPainter {
public:
    // With styleWord the painter reads and changes that word (the control's style); else its own.
    explicit CProgressPainter(DWORD* styleWord = nullptr);
    virtual ~CProgressPainter() = default;
    CProgressPainter(const CProgressPainter&) = delete;
    CProgressPainter& operator=(const CProgressPainter&) = delete;

    // Paints rect of target through an off-screen image (straight onto a printer).
    virtual void Draw(QPainter* target, const QRect& rect);

    virtual DWORD GetStyle() const;
    virtual void ModifyStyle(DWORD remove, DWORD add);

    // Colour stops with equal shares; at least one colour.
    void SetColors(const std::vector<COLORREF>& colors);
    const std::vector<COLORREF>& GetColors() const { return m_colors; }

    void SetRange(int a, int b);
    void GetRange(int* lower, int* upper) const;
    int GetLower() const { return m_lower; }
    int GetUpper() const { return m_upper; }
    void SetPos(int pos);
    int GetPos() const { return m_pos; }
    void OffsetPos(int delta);
    void StepIt() { OffsetPos(m_step); }
    int SetStep(int step);
    int GetStep() const { return m_step; }

    void SetBlockLength(int length) { m_blockLength = length; }
    int GetBlockLength() const { return m_blockLength; }
    int GetBlockTail() const { return m_blockTail; }

    // A non-empty text with a nonzero mode (PBS_TEXT_*) selects that text mode; else no text.
    void SetTextFormat(const QString& format, DWORD mode);
    QString GetTextFormat() const { return m_textFormat; }
    // The text the bar shows now (empty when no text mode is set).
    QString GetText() const;

    void SetFont(const std::optional<QFont>& font) { m_font = font; }
    const QFont* GetFont() const { return m_font ? &*m_font : nullptr; }
    void SetRegion(const std::optional<QRegion>& region) { m_region = region; }

    void SetBkColor(COLORREF c) { m_bkColor = c; }  // CLR_NONE: no fill
    COLORREF GetBkColor() const { return m_bkColor; }
    void SetBkBrush(const std::optional<QBrush>& b) { m_bkBrush = b; }
    void SetBarBrush(const std::optional<QBrush>& b) { m_barBrush = b; }
    void SetTextColors(COLORREF onBar, COLORREF onBackground) {
        m_barTextColor = onBar;
        m_bkTextColor = onBackground;
    }
    void SetMargins(int left, int top, int right, int bottom) { m_margins = {left, top, right, bottom}; }
    void SetGradientScale(float scale) { m_gradientScale = scale; }
    float GetGradientScale() const { return m_gradientScale; }
    void SetGradientOffset(int offset) { m_gradientOffset = offset; }
    int GetGradientOffset() const { return m_gradientOffset; }
    // Palette support for 8-bit displays: kept as a setting, never used on our true-colour images.
    void SetUsePalette(bool use) { m_usePalette = use; }
    bool GetUsePalette() const { return m_usePalette; }

    // The solid runs of the gradient over `length` pixels, rotated by `offset`, clipped to
    // [start, end); stepLimit 0 means unlimited.
    std::vector<GradientFill> Gradient(int length, int start, int end, int offset, int stepLimit = 0) const;
    // A two-colour piece of c pixels starting at bar pixel base.
    static void TwoColorPiece(std::vector<GradientFill>& out, int base, int c, COLORREF a, COLORREF b, int stepLimit);

    // The formatted text for a value: only %d (the value) and %% are substituted, so a free text
    // can never act as a format of its own.
    static QString FormatText(const QString& format, int value);

protected:
    // The number the text shows: percent, position or 0.
    virtual double GetTextValue() const;
    virtual bool OnPosChanging(int /*oldPos*/, int /*newPos*/) { return true; }
    virtual void OnPosChanged(int /*newPos*/) {}
    void DrawContents(QPainter& p, const QRect& rect);
    void DrawText(QPainter& p, const QRect& bar, const QRect& filled);

private:
    void SetBlockPos(int a, bool offset, int delta);
    void StorePos(int pos);
    int Span() const { return m_upper - m_lower; }

    DWORD* m_styleWord;
    DWORD m_ownStyle = 0xF0;
    std::vector<COLORREF> m_colors;
    std::vector<double> m_shares;
    bool m_usePalette = false;
    int m_orientation = 0;
    float m_gradientScale = 1.0f;
    std::optional<QBrush> m_barBrush;
    COLORREF m_bkColor;
    std::optional<QBrush> m_bkBrush;
    COLORREF m_barTextColor;
    COLORREF m_bkTextColor;
    int m_blockTail = 0;
    int m_blockLength = 40;
    int m_step = 10;
    int m_lower = 0;
    int m_upper = 100;
    RECT m_margins{0, 0, 0, 0};
    QString m_textFormat;
    std::optional<QFont> m_font;
    std::optional<QRegion> m_region;
    int m_pos = 0;
    int m_gradientOffset = 0;
};
