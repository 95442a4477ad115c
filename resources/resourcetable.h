// The program's resources by id: the string table and the bitmaps and icons the code refers to.
#pragma once

#include <QCursor>
#include <QIcon>

#include <QPixmap>
#include <QString>

// Text of a string-table id; an empty string for an unknown id.
QString ResourceString(int id);
// Bitmap of a resource id (splash 216, About picture 209, toolbar glyphs); null when unknown.
QPixmap ResourcePixmap(int id);
QIcon ResourceIcon(int id);
// The icon of a command (menus and toolbars): the icon theme's one for a standard action when the
// theme has it, else the table's own drawing; null for a command without an icon.
QIcon ResourceCommandIcon(int id);
// The freedesktop name a command's icon is looked up by; nullptr for the program's own commands.
const char* ResourceIconThemeName(int id);
// Cursor of a resource id (the screen overlay's 227-232); the arrow for an unknown id.
QCursor ResourceCursor(int id);
// The program's own icon (main window and document windows).
constexpr int kProgramIconId = 128;
// The same icon drawn at size x size pixels (the desktop's icon theme).
QPixmap ProgramIconPixmap(int size);
class QPainter;
// Draws the icon on a 32 x 32 square of the painter (scaled, or into a vector device).
void DrawProgramIcon(QPainter& painter);
// The measurement bar draws its own icons, numbered by its command ids plus this, apart from the
// camera windows' commands that share some of those ids.
constexpr int kMeasureIconBase = 100000;
