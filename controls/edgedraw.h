// The classic 3D frames the owner-drawn buttons are drawn with, in the classic system colours.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>

// A one-pixel frame: top and left in topLeft, bottom and right in bottomRight.
void Draw3dFrame(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight);
// Two-pixel raised and sunken edges, outer pair first.
void DrawRaisedEdge(QPainter& p, const QRect& r);
void DrawSunkenEdge(QPainter& p, const QRect& r);
// The dotted focus rectangle, inverted pixel by pixel and drawn anew on every paint.
void DrawFocusDots(QPainter& p, const QRect& r);
// An image shown disabled: its shape embossed in the highlight and shadow colours.
void DrawDisabledImage(QPainter& p, const QPoint& at, const QImage& image);
