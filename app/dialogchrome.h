// The look and the small behaviours that the launcher and the search dialogs share: the about
// entry of the system menu, the frame bands around the white panel with the caption icon and
// text, the icon buttons, the share icons with their tips and pages, and the hand cursor over
// links.
#pragma once
#include <initializer_list>
#include <vector>

#include "afxwin.h"
#include "look/iconbutton.h"
#include "look/themeapi.h"

// The maker's addresses and pages that the link labels and share icons open.
extern const wchar_t* const SupportMailText;
extern const wchar_t* const SupportMailLink;
extern const wchar_t* const ResellerMailText;
extern const wchar_t* const ResellerMailLink;
extern const wchar_t* const WebSiteLink;
extern const wchar_t* const ShareGooglePlusLink;
extern const wchar_t* const ShareFacebookLink;
extern const wchar_t* const LikeFacebookLink;
extern const wchar_t* const ShareTwitterLink;
extern const wchar_t* const SocialCommentsPageLink;
// The page of share icon 0 to 3 (Google+ share, Facebook share, Facebook like, Twitter share);
// null for any other index.
const wchar_t* ShareIconLink(int index);

// Appends a separator and the about entry (command 0x10) to the system menu of `dialog`, when it
// has one and the entry's text exists.
void AppendAboutMenuEntry(CWnd* dialog);

// Glass where the application wants it and the system has it; otherwise composition is switched
// off so that the gradient frame shows. The caption icon control (and the controls
// `moreGlassControls` names) take part in the glass.
void SetupDialogGlass(CWnd* dialog, DwmApi& dwm, const std::vector<int>& moreGlassControls = {});

// Paints the bands of the client area outside `panel` (glass or gradient), fills the panel white,
// draws `captionIcon` (when set) in its own size at (6, 4) and the caption text after it in the
// top band. Returns whether glass was used.
bool PaintDialogFrame(CWnd* dialog, CDC* dc, CWnd* panel, HICON captionIcon, const CString& caption, DwmApi& dwm);

// Where the caption text is drawn: the top band above `panel`, from beside the caption icon up to
// the first control that lies in the band (the About and Contact buttons), so that none of them
// is drawn over it.
CRect DialogCaptionRect(CWnd* dialog, CWnd* panel);

// When `dialog` is minimised, paints `icon` centred in its client area and returns true; false
// (nothing painted) otherwise.
bool PaintMinimisedIcon(CWnd* dialog, HICON icon);

// Moves the window text of button `id` into the caption beside the 16 x 16 icon `icon`; binds
// `button` to the control first unless it is bound already. A missing control is skipped.
void MakeIconButton(CWnd* dialog, CMyBtn& button, int id, UINT icon);
struct IconButtonSpec {
    CMyBtn* button;
    int id; // 0 when the button is bound already
    UINT icon;
};
void MakeIconButtons(CWnd* dialog, std::initializer_list<IconButtonSpec> buttons);

// Adds the tips of the four share icons of `dialog` (those that exist) to a created tooltip.
void AddShareTips(CToolTipCtrl& tips, CWnd* dialog);
// Opens the page of share icon `id` (the four share icon ids) maximised; other ids open nothing.
void OpenShareIconLink(UINT id);
// Sets the hand cursor and returns true when `control` is a share icon or one of the two link
// labels; false (cursor untouched) for anything else.
bool SetLinkCursor(CWnd* control);
// Binds `link` to control `id` of `dialog` (unless bound already), colours it link-blue on white
// and, when `text` is given, sets its text.
void SetupLinkLabel(CWnd* dialog, CMy_Link_Static& link, int id, const wchar_t* text = nullptr);
