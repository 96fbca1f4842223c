#pragma once
#include <QBrush>
#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace meru {

// The program's pictures by their resource numbers: icon 128 (the program),
// 152 (tray, plain) and 189-193 (tray, showing the clipboard entry 1-5), the
// button faces 130-196 (cut, copy, paste, help, undo, search, line, delete,
// web address, mail, print, insert, delete all),
// bitmaps 172 (background pattern), 174, 176, 180, 181 (main window buttons),
// 140 and 141 (About box).
namespace res {

inline constexpr int kIconMeru = 128;
inline constexpr int kIconTray = 152;
inline constexpr int kIconTrayFirstDigit = 189;  // 189..193 show 1..5
inline constexpr int kBitmapPattern = 172;

// An icon by number, drawn once per run; a null icon for a number the
// program does not have.
QIcon Icon(int id);
// A picture by number, drawn at `size` (its natural size when empty).
QPixmap Bitmap(int id, QSize size = {});
// The tiled background of every window (bitmap 172).
QBrush PatternBrush();

}  // namespace res
}  // namespace meru
