// The About dialog over an owner window, as the main window opens it: its texts,
// fonts and link colour, its place over the owner, closing by "Close" and by the
// close box, a fresh dialog afterwards, and the link opening the product page in the
// system's browser. The browser is a recording script (record-browser.sh beside
// this file) set as Wine's browser, so the address is proven without any network.
// A screenshot of the dialog over its owner is saved as bin/about-dialog.png.
#include "ui/about.h"
#include "ui/hyperlink.h"
#include "ui/layout.h"
#include "ui/product.h"
#include "ui/resource.h"

#include "ui_test_support.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

std::string ItemText(HWND dialog, int id)
{
    char buffer[512] = "";
    GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
    return buffer;
}

HFONT ItemFont(HWND dialog, int id)
{
    return (HFONT)SendDlgItemMessageA(dialog, id, WM_GETFONT, 0, 0);
}

RECT ScreenRect(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return r;
}

class About : public ::testing::Test {
protected:
    void SetUp() override
    {
        uitest::InitProcess();
        uitest::CreateFonts();
        // Stands in for the main window: a captioned top-level window of its size.
        hMainWnd = uitest::CreatePlainWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 150, 40, APP_WIDTH, APP_HEIGHT, NULL,
                                             APP_TITLE);
        ASSERT_NE(hMainWnd, nullptr);
        hAboutDlg = NULL;
        bAboutOpen = 0;
    }
    void TearDown() override
    {
        if (hAboutDlg)
            DestroyWindow(hAboutDlg);
        hAboutDlg = NULL;
        bAboutOpen = 0;
        DestroyWindow(hMainWnd);
        hMainWnd = NULL;
        uitest::PumpMessages();
        uitest::DeleteFonts();
    }

    // What the main window's About command does when no About dialog is open.
    HWND Open()
    {
        hAboutDlg = CreateModelessDialog(hInst, hMainWnd, AboutDlgProc, IDD_ABOUT);
        bAboutOpen = 1;
        return hAboutDlg;
    }

    void Click(HWND window)
    {
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    }
};

TEST_F(About, OpensCentredOverItsOwnerWithItsTextsFontsAndLink)
{
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), hMainWnd);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(IsWindowEnabled(hMainWnd)) << "modeless: the main window stays usable";

    RECT owner = ScreenRect(hMainWnd), own = ScreenRect(dialog);
    EXPECT_EQ(own.left, owner.left + ((owner.right - owner.left) - (own.right - own.left)) / 2);
    EXPECT_EQ(own.top, owner.top + ((owner.bottom - owner.top) - (own.bottom - own.top)) / 2);

    char title[64] = "";
    GetWindowTextA(dialog, title, sizeof title);
    EXPECT_STREQ(title, "About Quotarion");

    HFONT dialogFont = (HFONT)SendMessageA(dialog, WM_GETFONT, 0, 0);
    struct {
        int id;
        const char *text;
        HFONT font;
    } items[] = {
        {IDC_ABOUT_NAME, "Quotarion", hFontBold},
        {IDC_ABOUT_VERSION, "Version 1.2", hFontRegular},
        {IDC_ABOUT_RIGHTS, PRODUCT_RIGHTS, dialogFont},
        {IDC_ABOUT_WEBLABEL, "Product Web:", dialogFont},
        {IDC_ABOUT_LINK, PRODUCT_WEB_TEXT, dialogFont},
    };
    for (auto &item : items) {
        SCOPED_TRACE(item.id);
        EXPECT_EQ(ItemText(dialog, item.id), item.text);
        EXPECT_EQ(ItemFont(dialog, item.id), item.font);
    }

    // The address is a link in the link colour; its neighbours are not.
    HWND link = GetDlgItem(dialog, IDC_ABOUT_LINK);
    EXPECT_EQ(GetPropA(link, PROP_FROM_STATIC), (HANDLE)1);
    EXPECT_GT(uitest::RenderClient(link).Count(HYPERLINK_COLOUR), 10);
    EXPECT_EQ(uitest::RenderClient(GetDlgItem(dialog, IDC_ABOUT_WEBLABEL)).Count(HYPERLINK_COLOUR), 0);
    EXPECT_EQ(uitest::RenderClient(GetDlgItem(dialog, IDC_ABOUT_RIGHTS)).Count(HYPERLINK_COLOUR), 0);

    // The program's icon and the 189 x 44 logo.
    EXPECT_NE(SendDlgItemMessageA(dialog, IDC_ABOUT_ICON, STM_GETICON, 0, 0), 0);
    HWND picture = NULL;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            picture = child;
    ASSERT_NE(picture, nullptr);
    HBITMAP logo = (HBITMAP)SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0);
    BITMAP info = {};
    ASSERT_TRUE(GetObjectA(logo, sizeof info, &info));
    EXPECT_EQ(info.bmWidth, 189);
    EXPECT_EQ(info.bmHeight, 44);
}

TEST_F(About, CloseButtonAndCloseBoxDestroyItAndAFreshOneOpensAfter)
{
    struct {
        const char *label;
        void (*close)(HWND dialog);
    } ways[] = {
        {"Close button", [](HWND dialog) { SendDlgItemMessageA(dialog, IDCANCEL, BM_CLICK, 0, 0); }},
        {"close box", [](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (auto &way : ways) {
        SCOPED_TRACE(way.label);
        HWND dialog = Open();
        ASSERT_NE(dialog, nullptr);
        HFONT underline = (HFONT)GetPropA(GetDlgItem(dialog, IDC_ABOUT_LINK), PROP_UNDERLINE_FONT);
        ASSERT_EQ(GetObjectType(underline), (DWORD)OBJ_FONT);

        // A command it does not know leaves it alone.
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_WEBLABEL, STN_CLICKED), 0);
        EXPECT_TRUE(IsWindow(dialog));
        EXPECT_EQ(bAboutOpen, 1);

        way.close(dialog);
        EXPECT_TRUE(uitest::PumpUntil([&] { return !IsWindow(dialog); }));
        EXPECT_EQ(hAboutDlg, nullptr);
        EXPECT_EQ(bAboutOpen, 0);
        EXPECT_EQ(GetObjectType(underline), 0u) << "the link's font went with it";
        EXPECT_TRUE(IsWindow(hMainWnd));
    }

    // The next About command gets a fresh, filled dialog.
    HWND again = Open();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(ItemText(again, IDC_ABOUT_NAME), "Quotarion");
    EXPECT_EQ(GetPropA(GetDlgItem(again, IDC_ABOUT_LINK), PROP_FROM_STATIC), (HANDLE)1);
}

TEST_F(About, LinkOpensTheProductPageAndLeavesTheDialogOpen)
{
    ASSERT_STRNE(PRODUCT_WEB_URL, PRODUCT_WEB_TEXT) << "the page opened is not the text shown";
    uitest::BrowserRecorder browser;
    if (!browser.Install())
        GTEST_SKIP() << "needs Wine's browser setting";

    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    HWND link = GetDlgItem(dialog, IDC_ABOUT_LINK);
    for (size_t clicks = 1; clicks <= 2; clicks++) {
        SCOPED_TRACE(clicks);
        Click(link);
        EXPECT_TRUE(IsWindow(dialog));
        EXPECT_EQ(hAboutDlg, dialog);
        EXPECT_EQ(bAboutOpen, 1);
        ASSERT_TRUE(uitest::PumpUntil([&] { return browser.Opened().size() >= clicks; }))
            << "the browser was never started";
        std::vector<std::string> opened = browser.Opened();
        ASSERT_EQ(opened.size(), clicks);
        EXPECT_EQ(opened.back(), PRODUCT_WEB_URL);
    }
    EXPECT_TRUE(IsWindow(dialog));
}

TEST_F(About, RealPointerOverTheLinkUnderlinesItUntilItLeaves)
{
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    SetForegroundWindow(dialog);
    uitest::PumpMessages();
    HWND link = GetDlgItem(dialog, IDC_ABOUT_LINK);
    HFONT plain = ItemFont(dialog, IDC_ABOUT_LINK);
    HFONT underline = (HFONT)GetPropA(link, PROP_UNDERLINE_FONT);
    RECT r = ScreenRect(link);
    RECT label = ScreenRect(GetDlgItem(dialog, IDC_ABOUT_WEBLABEL));

    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    EXPECT_TRUE(uitest::PumpUntil([&] { return ItemFont(dialog, IDC_ABOUT_LINK) == underline; }))
        << "the pointer over the link underlines it";
    EXPECT_EQ(GetCapture(), link);
    EXPECT_EQ(GetCursor(), LoadCursorA(NULL, (LPCSTR)IDC_HAND));

    SetCursorPos((label.left + label.right) / 2, (label.top + label.bottom) / 2);
    EXPECT_TRUE(uitest::PumpUntil([&] { return ItemFont(dialog, IDC_ABOUT_LINK) == plain; }))
        << "leaving it takes the underline off";
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(About, ScreenshotOverTheOwner)
{
    HWND dialog = Open();
    ASSERT_NE(dialog, nullptr);
    SetForegroundWindow(dialog);
    RECT area = ScreenRect(hMainWnd);
    RECT link = ScreenRect(GetDlgItem(dialog, IDC_ABOUT_LINK));
    uitest::Picture shot;
    // The display shows the dialog once the link's blue appears inside the link.
    auto linkShown = [&] {
        shot = uitest::CaptureScreen(area);
        int blue = 0;
        for (int y = link.top; y < link.bottom; y++)
            for (int x = link.left; x < link.right; x++)
                blue += shot.At(x - area.left, y - area.top) == HYPERLINK_COLOUR;
        return blue > 10;
    };
    EXPECT_TRUE(uitest::PumpUntil(linkShown));
    ASSERT_EQ(shot.width, area.right - area.left);
    std::string path = uitest::ProgramFolder() + "about-dialog.png";
    EXPECT_TRUE(uitest::WritePng(shot, path)) << path;
}

} // namespace
