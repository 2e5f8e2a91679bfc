// The background painters of the launcher and the small dialogs: glass bands around a white inner
// area where the window manager composes (Vista and later), caption-coloured gradient bands
// elsewhere, and the glowing caption text in the top band.
#pragma once
#include "afxwin.h"
#include "look/themeapi.h"

// Paints the four bands of the client area outside `inner` and the white inner area. With glass
// (the application's glass flag, Vista or later, composition available) the frame is extended by
// `margins` and the bands are filled black for the window manager; otherwise they are gradients.
// The glass flag follows what the system allows. Without glass the white area gets a black
// outline one pixel wide. Returns whether glass was used.
bool DrawDialogBackground(CWnd* dialog, CDC* dc, const CRect& inner, const MARGINS& margins, DwmApi& dwm);

// The caption text: the product title, " - " and `text` (or the title alone when `text` is it),
// in the caption font and colour; on glass drawn with a glow through the theme library.
void DrawGlowingText(HWND window, const CString& text, const CRect& rect, bool glass, HDC dc);
