// The hyperlink control on real statics of a real dialog (template 117 driven by a
// test procedure that paints its statics in its own colours): the link's colour on
// rendered pixels, hover underline through the mouse messages the control sees,
// the hand cursor, the click notification, several links on one dialog, capture
// loss, and that destroying the dialog undoes every subclass and deletes the fonts.
#include "ui/hyperlink.h"
#include "ui/resource.h"

#include "ui_test_support.h"

#include <gtest/gtest.h>

#include <string.h>
#include <vector>

namespace {

const COLORREF kDialogText = RGB(128, 0, 0);
const COLORREF kDialogBack = RGB(200, 220, 240);
const COLORREF kLink = RGB(0, 0, 192);

struct DialogRecord {
    HBRUSH brush = NULL;
    std::vector<WPARAM> commands;
    bool destroyed = false;
    LONG_PTR procAtDestroy = 0;
    HANDLE propAtDestroy = (HANDLE)-1;
} gDialog;

INT_PTR CALLBACK TestDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return 1;
    case WM_CTLCOLORSTATIC:
        SetTextColor((HDC)wParam, kDialogText);
        SetBkColor((HDC)wParam, kDialogBack);
        return (INT_PTR)gDialog.brush;
    case WM_COMMAND:
        gDialog.commands.push_back(wParam);
        return 1;
    case WM_DESTROY:
        gDialog.destroyed = true;
        gDialog.procAtDestroy = GetWindowLongPtrA(dialog, GWLP_WNDPROC);
        gDialog.propAtDestroy = GetPropA(dialog, PROP_ORIGINAL_PROC);
        return 0;
    }
    return 0;
}

// A subclass installed under the link's, which sees the state the link leaves
// behind when its WM_DESTROY is passed on.
struct StaticRecord {
    WNDPROC original = NULL;
    bool destroyed = false;
    LONG_PTR procAtDestroy = 0;
    bool propsLeft = true;
    HFONT fontAtDestroy = NULL;
};
StaticRecord gStatics[2];

LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    StaticRecord &r = gStatics[GetDlgCtrlID(window) == IDC_ABOUT_LINK ? 0 : 1];
    if (message == WM_DESTROY) {
        r.destroyed = true;
        r.procAtDestroy = GetWindowLongPtrA(window, GWLP_WNDPROC);
        r.propsLeft = GetPropA(window, PROP_ORIGINAL_PROC) || GetPropA(window, PROP_ORIGINAL_FONT) ||
                      GetPropA(window, PROP_UNDERLINE_FONT) || GetPropA(window, PROP_FROM_STATIC);
        r.fontAtDestroy = (HFONT)SendMessageA(window, WM_GETFONT, 0, 0);
    }
    return CallWindowProcA(r.original, window, message, wParam, lParam);
}

bool IsUnderlined(HFONT font)
{
    LOGFONTA lf = {};
    if (!font || GetObjectA(font, sizeof lf, &lf) != sizeof lf)
        return false;
    return lf.lfUnderline != 0;
}

class Hyperlink : public ::testing::Test {
protected:
    void SetUp() override
    {
        uitest::InitProcess();
        gDialog = DialogRecord();
        gDialog.brush = CreateSolidBrush(kDialogBack);
        owner = uitest::CreatePlainWindow(WS_POPUP, 0, 0, 100, 100);
        dialog = CreateDialogParamA(hInst, MAKEINTRESOURCEA(IDD_ABOUT), owner, TestDlgProc, 0);
        ASSERT_NE(dialog, nullptr);
        link = GetDlgItem(dialog, IDC_ABOUT_LINK);
        label = GetDlgItem(dialog, IDC_ABOUT_WEBLABEL);
        SetWindowTextA(link, "www.example.org");
        SetWindowTextA(label, "Product Web:");
        dialogProc = GetWindowLongPtrA(dialog, GWLP_WNDPROC);
        dialogFont = (HFONT)SendMessageA(dialog, WM_GETFONT, 0, 0);
    }
    void TearDown() override
    {
        if (IsWindow(dialog))
            DestroyWindow(dialog);
        DestroyWindow(owner);
        uitest::PumpMessages();
        DeleteObject(gDialog.brush);
        EXPECT_EQ(GetCapture(), nullptr);
    }

    HFONT Font(HWND window) { return (HFONT)SendMessageA(window, WM_GETFONT, 0, 0); }
    HFONT Underline(HWND window) { return (HFONT)GetPropA(window, PROP_UNDERLINE_FONT); }
    int Width(HWND window)
    {
        RECT r;
        GetClientRect(window, &r);
        return r.right;
    }
    // The mouse move the control would see, at client coordinates (may be negative).
    void MoveTo(HWND window, int x, int y) { SendMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }
    void ExpectHovered(HWND window, bool hovered)
    {
        EXPECT_EQ(Font(window), hovered ? Underline(window) : dialogFont);
        EXPECT_EQ(IsUnderlined(Font(window)), hovered);
        EXPECT_EQ(GetCapture() == window, hovered);
    }

    HWND owner = NULL;
    HWND dialog = NULL;
    HWND link = NULL;
    HWND label = NULL;
    LONG_PTR dialogProc = 0;
    HFONT dialogFont = NULL;
};

TEST_F(Hyperlink, LinkIsBlueAtOnceWhileOtherStaticsKeepTheDialogColours)
{
    ASSERT_TRUE(MakeHyperlink(link));
    EXPECT_TRUE(GetWindowLongA(link, GWL_STYLE) & SS_NOTIFY);
    EXPECT_EQ(GetPropA(link, PROP_FROM_STATIC), (HANDLE)1);
    EXPECT_EQ((HFONT)GetPropA(link, PROP_ORIGINAL_FONT), dialogFont);
    EXPECT_EQ(Font(link), dialogFont) << "its own font until hovered";

    // The underline font is the static's own font with the underline on.
    LOGFONTA own = {}, under = {};
    ASSERT_EQ(GetObjectA(dialogFont, sizeof own, &own), (int)sizeof own);
    ASSERT_EQ(GetObjectA(Underline(link), sizeof under, &under), (int)sizeof under);
    EXPECT_TRUE(under.lfUnderline);
    EXPECT_EQ(under.lfHeight, own.lfHeight);
    EXPECT_STREQ(under.lfFaceName, own.lfFaceName);

    uitest::Picture linkPixels = uitest::RenderClient(link);
    EXPECT_GT(linkPixels.Count(kLink), 10) << "link text in RGB(0,0,192)";
    EXPECT_EQ(linkPixels.Count(kDialogText), 0);
    EXPECT_GT(linkPixels.Count(kDialogBack), 10) << "the dialog's background kept";

    uitest::Picture labelPixels = uitest::RenderClient(label);
    EXPECT_GT(labelPixels.Count(kDialogText), 10) << "other statics keep the dialog's text colour";
    EXPECT_EQ(labelPixels.Count(kLink), 0);
    EXPECT_GT(labelPixels.Count(kDialogBack), 10);

    // The colour message itself: the link's text colour changes, the brush does not.
    HDC dc = GetDC(dialog);
    EXPECT_EQ((HBRUSH)SendMessageA(dialog, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)link), gDialog.brush);
    EXPECT_EQ(GetTextColor(dc), kLink);
    EXPECT_EQ(GetBkColor(dc), kDialogBack);
    EXPECT_EQ((HBRUSH)SendMessageA(dialog, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)label), gDialog.brush);
    EXPECT_EQ(GetTextColor(dc), kDialogText);
    ReleaseDC(dialog, dc);
}

TEST_F(Hyperlink, UnderlinedWhileThePointerIsOverItAndPlainWhenItLeaves)
{
    MakeHyperlink(link);
    int plainBlue = uitest::RenderClient(link).Count(kLink);
    ExpectHovered(link, false);

    MoveTo(link, 3, 3);
    ExpectHovered(link, true);
    EXPECT_GT(uitest::RenderClient(link).Count(kLink), plainBlue) << "the underline is drawn";
    MoveTo(link, Width(link) - 1, 2);
    ExpectHovered(link, true);

    MoveTo(link, Width(link) + 5, 3); // right of it
    ExpectHovered(link, false);
    EXPECT_EQ(uitest::RenderClient(link).Count(kLink), plainBlue);

    MoveTo(link, 3, 3);
    ExpectHovered(link, true);
    MoveTo(link, -4, 3); // left of it: negative client coordinates
    ExpectHovered(link, false);

    MoveTo(link, 3, 3);
    MoveTo(link, 3, -2); // above it
    ExpectHovered(link, false);
}

TEST_F(Hyperlink, PointerOverTheLinkIsTheHandCursor)
{
    MakeHyperlink(link);
    HCURSOR arrow = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    HCURSOR hand = LoadCursorA(NULL, (LPCSTR)IDC_HAND);
    ASSERT_NE(hand, nullptr);
    SetCursor(arrow);
    EXPECT_EQ(SendMessageA(link, WM_SETCURSOR, (WPARAM)link, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), 1);
    EXPECT_EQ(GetCursor(), hand);

    // A static that is not a link leaves the cursor to the system.
    SetCursor(arrow);
    SendMessageA(label, WM_SETCURSOR, (WPARAM)label, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_NE(GetCursor(), hand);
}

TEST_F(Hyperlink, ClickReachesTheParentAsCommandWithTheStaticsId)
{
    // A plain static does not notify.
    SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_TRUE(gDialog.commands.empty());

    MakeHyperlink(link);
    MoveTo(link, 3, 3);
    SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    uitest::PumpMessages();
    ASSERT_FALSE(gDialog.commands.empty());
    bool clicked = false;
    for (WPARAM command : gDialog.commands) {
        EXPECT_EQ(LOWORD(command), IDC_ABOUT_LINK);
        clicked |= HIWORD(command) == STN_CLICKED;
    }
    EXPECT_TRUE(clicked);
    MoveTo(link, -10, -10);
}

TEST_F(Hyperlink, TwoLinksSubclassTheDialogOnceAndHoverOnTheirOwn)
{
    MakeHyperlink(label);
    MakeHyperlink(link);
    EXPECT_EQ(GetWindowLongPtrA(dialog, GWLP_WNDPROC), (LONG_PTR)HyperlinkParentProc);
    EXPECT_EQ((LONG_PTR)GetPropA(dialog, PROP_ORIGINAL_PROC), dialogProc) << "the dialog's own procedure kept";
    EXPECT_GT(uitest::RenderClient(label).Count(kLink), 10);
    EXPECT_GT(uitest::RenderClient(link).Count(kLink), 10);

    MoveTo(label, 3, 3);
    ExpectHovered(label, true);
    ExpectHovered(link, false);
    MoveTo(label, 3, -20); // leaves the label towards the link
    MoveTo(link, 3, 3);
    ExpectHovered(label, false);
    ExpectHovered(link, true);
    MoveTo(link, Width(link) + 1, 3);
    ExpectHovered(link, false);

    // Making a link a link again changes nothing.
    HANDLE underline = GetPropA(link, PROP_UNDERLINE_FONT);
    EXPECT_TRUE(MakeHyperlink(link));
    EXPECT_EQ(GetPropA(link, PROP_UNDERLINE_FONT), underline);
    EXPECT_EQ(GetWindowLongPtrA(link, GWLP_WNDPROC), (LONG_PTR)HyperlinkStaticProc);
    EXPECT_NE(GetPropA(link, PROP_ORIGINAL_PROC), (HANDLE)HyperlinkStaticProc);
    MoveTo(link, 3, 3);
    ExpectHovered(link, true);
    MoveTo(link, 3, -3);

    // Messages still reach the dialog procedure through the one subclass.
    SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_FALSE(gDialog.commands.empty());
}

TEST_F(Hyperlink, DestroyingTheDialogUndoesBothSubclassesAndDeletesTheFonts)
{
    HWND statics[2] = {link, label};
    for (HWND s : statics) {
        StaticRecord &r = gStatics[s == link ? 0 : 1];
        r = StaticRecord();
        r.original = (WNDPROC)SetWindowLongPtrA(s, GWLP_WNDPROC, (LONG_PTR)RecorderProc);
    }
    MakeHyperlink(link);
    MakeHyperlink(label);
    HFONT underlines[2] = {Underline(link), Underline(label)};
    ASSERT_EQ(GetObjectType(underlines[0]), (DWORD)OBJ_FONT);
    ASSERT_EQ(GetObjectType(underlines[1]), (DWORD)OBJ_FONT);
    MoveTo(link, 3, 3); // destroyed while hovered

    long gdiBefore = uitest::GdiObjectCount();
    ASSERT_TRUE(DestroyWindow(dialog));
    uitest::PumpMessages();

    EXPECT_TRUE(gDialog.destroyed);
    EXPECT_EQ(gDialog.procAtDestroy, dialogProc) << "the dialog's procedure back";
    EXPECT_EQ(gDialog.propAtDestroy, nullptr);
    for (int i = 0; i < 2; i++) {
        SCOPED_TRACE(i == 0 ? "link" : "label");
        EXPECT_TRUE(gStatics[i].destroyed);
        EXPECT_EQ(gStatics[i].procAtDestroy, (LONG_PTR)RecorderProc) << "the static's procedure back";
        EXPECT_FALSE(gStatics[i].propsLeft);
        EXPECT_EQ(gStatics[i].fontAtDestroy, dialogFont) << "its own font back";
        EXPECT_EQ(GetObjectType(underlines[i]), 0u) << "underline font deleted";
    }
    if (gdiBefore > 0) {
        EXPECT_EQ(uitest::GdiObjectCount(), gdiBefore - 2);
    }
}

TEST_F(Hyperlink, LosingTheCaptureToAnotherWindowResetsTheFont)
{
    MakeHyperlink(link);
    MoveTo(link, 3, 3);
    ExpectHovered(link, true);

    SetCapture(owner); // say, another control starting a drag
    EXPECT_EQ(Font(link), dialogFont);
    EXPECT_EQ(GetObjectType(Underline(link)), (DWORD)OBJ_FONT) << "kept for the next hover";
    ReleaseCapture();

    MoveTo(link, 3, 3);
    ExpectHovered(link, true);
    MoveTo(link, -3, -3);
    ExpectHovered(link, false);
}

TEST_F(Hyperlink, StaticWithoutItsOwnFontIsUnderlinedInTheSystemFont)
{
    HWND parent = uitest::CreatePlainWindow(WS_POPUP, 0, 0, 300, 100);
    HWND plain = CreateWindowExA(0, "STATIC", "link", WS_CHILD | WS_VISIBLE, 5, 5, 200, 20, parent,
                                 (HMENU)(INT_PTR)55, hInst, NULL);
    ASSERT_EQ(Font(plain), nullptr);
    MakeHyperlink(plain);

    HFONT underline = Underline(plain);
    LOGFONTA system = {}, under = {};
    GetObjectA(GetStockObject(SYSTEM_FONT), sizeof system, &system);
    ASSERT_EQ(GetObjectA(underline, sizeof under, &under), (int)sizeof under);
    EXPECT_TRUE(under.lfUnderline);
    EXPECT_EQ(under.lfHeight, system.lfHeight);
    EXPECT_STREQ(under.lfFaceName, system.lfFaceName);

    MoveTo(plain, 3, 3);
    EXPECT_EQ(Font(plain), underline);
    MoveTo(plain, 3, 50);
    EXPECT_EQ(Font(plain), nullptr) << "back to the system font";
    EXPECT_EQ(GetCapture(), nullptr);

    DestroyWindow(parent);
    EXPECT_EQ(GetObjectType(underline), 0u);
}

} // namespace
