#pragma once

#include <QStringList>

namespace halvix {

// The program's one typeface: "宋体", and where it is not installed the faces that stand in for it.
// One face for every window, menu and tooltip: each further CJK face the system falls back on
// maps some 3 to 5 MiB of font tables into the running program.
QStringList songFamilies();

// Makes the song face, in its regular style, the application's font (its size unchanged). Once,
// before any window.
void useSongFontEverywhere();

} // namespace halvix
