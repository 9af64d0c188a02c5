// Bitmap toolbars and tab controls built from tables: what the real controls show
// (read back through their own messages), how text sits against the pictures, and
// that tearing them down deletes every bitmap and image list they made.
#include "ui/layout.h"
#include "ui/resource.h"
#include "ui/toolbar.h"

#include "ui_test_support.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

class Toolbar : public ::testing::Test {
protected:
    void SetUp() override
    {
        uitest::InitProcess();
        gdiBefore = uitest::GdiObjectCount();
        // Hidden: the controls lay themselves out all the same.
        parent = uitest::CreatePlainWindow(WS_OVERLAPPEDWINDOW, 60, 60, 300, 300);
        ASSERT_NE(parent, nullptr);
        uitest::SetClientSize(parent, 400, 300);
        ResetTable();
    }
    void TearDown() override
    {
        DestroyWindow(parent);
        uitest::PumpMessages();
        if (gdiBefore > 0) {
            EXPECT_EQ(uitest::GdiObjectCount(), gdiBefore) << "GDI objects left behind";
        }
    }
    void ResetTable()
    {
        memset(table, 0, sizeof table);
        table[0].bitmapId = IDB_ADDSTOCK;
        table[0].commandId = IDC_TB_ADDSTOCK;
        strcpy(table[0].text, "Add Stock");
        table[1].bitmapId = IDB_DELETESTOCK;
        table[1].commandId = IDC_TB_DELETESTOCK;
        strcpy(table[1].text, "Delete Stock");
    }
    HWND AnyToolbarOnParent() { return FindWindowExA(parent, NULL, TOOLBARCLASSNAMEA, NULL); }

    // The first button's rectangle and the size of its text in the toolbar's font.
    void Measure(HWND toolbar, RECT *button, SIZE *text)
    {
        ASSERT_TRUE(SendMessageA(toolbar, TB_GETITEMRECT, 0, (LPARAM)button));
        HDC dc = GetDC(toolbar);
        HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageA(toolbar, WM_GETFONT, 0, 0));
        GetTextExtentPoint32A(dc, table[0].text, (int)strlen(table[0].text), text);
        SelectObject(dc, old);
        ReleaseDC(toolbar, dc);
    }

    void ExpectButtons(HWND toolbar, bool consecutiveImages)
    {
        ASSERT_EQ(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), 2);
        for (int i = 0; i < 2; i++) {
            SCOPED_TRACE(table[i].text);
            TBBUTTON button = {};
            ASSERT_TRUE(SendMessageA(toolbar, TB_GETBUTTON, i, (LPARAM)&button));
            EXPECT_EQ(button.idCommand, table[i].commandId);
            if (consecutiveImages) {
                EXPECT_EQ(button.iBitmap, i);
            }
            EXPECT_TRUE(button.fsState & TBSTATE_ENABLED);
            EXPECT_EQ(button.fsStyle, BTNS_AUTOSIZE);
            char text[TOOLBAR_TEXT_SIZE] = "";
            SendMessageA(toolbar, TB_GETBUTTONTEXTA, table[i].commandId, (LPARAM)text);
            EXPECT_STREQ(text, table[i].text);
            EXPECT_EQ(GetObjectType(table[i].bitmap), (DWORD)OBJ_BITMAP);
        }
    }

    HWND parent = NULL;
    long gdiBefore = -1;
    ToolbarButtonDef table[TOOLBAR_MAX_BUTTONS + 2];
};

TEST_F(Toolbar, ThirtyTwoPixelButtonsShowTheirTextUnderThePicture)
{
    HWND toolbar = CreateBitmapToolbar(hInst, parent, table, 2, 0, 0, 32);
    ASSERT_NE(toolbar, nullptr);
    EXPECT_EQ(GetParent(toolbar), parent);
    EXPECT_TRUE(GetWindowLongA(toolbar, GWL_STYLE) & WS_VISIBLE) << "shown";
    DWORD style = (DWORD)GetWindowLongA(toolbar, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_TRUE(style & TBSTYLE_TRANSPARENT);
    EXPECT_FALSE(style & TBSTYLE_LIST);
    EXPECT_FALSE(style & TBSTYLE_TOOLTIPS);
    EXPECT_NE(style & CCS_BOTTOM, (DWORD)CCS_BOTTOM);
    ExpectButtons(toolbar, true);

    HIMAGELIST images = (HIMAGELIST)SendMessageA(toolbar, TB_GETIMAGELIST, 0, 0);
    int cx = 0, cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(images, &cx, &cy));
    EXPECT_EQ(cx, 32);
    EXPECT_EQ(cy, 32);
    EXPECT_EQ(ImageList_GetImageCount(images), 2);

    RECT button;
    SIZE text;
    Measure(toolbar, &button, &text);
    EXPECT_GE(button.bottom - button.top, 32 + text.cy) << "room for the text under the picture";
    EXPECT_LT(button.right - button.left, 32 + text.cx) << "text not beside the picture";

    // Along the top of the parent, its full width.
    int w, h, top, left;
    GetChildRect(toolbar, &w, &h, &top, &left);
    EXPECT_EQ(top, 0);
    EXPECT_EQ(w, 400);
    EXPECT_GE(h, button.bottom - button.top);

    // Teardown deletes the loaded bitmaps and the image list's own pictures.
    IMAGEINFO info = {};
    ASSERT_TRUE(ImageList_GetImageInfo(images, 0, &info));
    HBITMAP loaded[2] = {table[0].bitmap, table[1].bitmap};
    DestroyBitmapToolbar(toolbar, table, 2);
    EXPECT_FALSE(IsWindow(toolbar));
    EXPECT_EQ(GetObjectType(info.hbmImage), 0u) << "image list destroyed";
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(table[i].bitmap, nullptr);
        EXPECT_EQ(GetObjectType(loaded[i]), 0u);
    }

    // The same table builds the toolbar again.
    toolbar = CreateBitmapToolbar(hInst, parent, table, 2, 0, 0, 32);
    ASSERT_NE(toolbar, nullptr);
    ExpectButtons(toolbar, true);
    DestroyBitmapToolbar(toolbar, table, 2);
    EXPECT_EQ(table[0].bitmap, nullptr);
    EXPECT_EQ(AnyToolbarOnParent(), nullptr);
}

TEST_F(Toolbar, SixteenPixelButtonsShowTheirTextBesideThePictureAtTheBottom)
{
    HWND toolbar = CreateBitmapToolbar(hInst, parent, table, 2, 1, 1, 16);
    ASSERT_NE(toolbar, nullptr);
    DWORD style = (DWORD)GetWindowLongA(toolbar, GWL_STYLE);
    EXPECT_TRUE(style & TBSTYLE_LIST);
    EXPECT_TRUE(style & TBSTYLE_TOOLTIPS);
    EXPECT_EQ(style & CCS_BOTTOM, (DWORD)CCS_BOTTOM);
    ExpectButtons(toolbar, false);

    HIMAGELIST images = (HIMAGELIST)SendMessageA(toolbar, TB_GETIMAGELIST, 0, 0);
    int cx = 0, cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(images, &cx, &cy));
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);

    RECT button;
    SIZE text;
    Measure(toolbar, &button, &text);
    EXPECT_GE(button.right - button.left, 16 + text.cx) << "room for the text beside the picture";
    EXPECT_LT(button.bottom - button.top, 16 + text.cy) << "text not under the picture";

    int w, h, top, left;
    GetChildRect(toolbar, &w, &h, &top, &left);
    // Along the bottom (the control keeps its divider's couple of pixels).
    EXPECT_NEAR(top + h, 300, 2);
    EXPECT_GT(top, 150);
    DestroyBitmapToolbar(toolbar, table, 2);
}

TEST_F(Toolbar, DestroyWithCountZeroKeepsTheBitmaps)
{
    HWND toolbar = CreateBitmapToolbar(hInst, parent, table, 2, 0, 0, 32);
    ASSERT_NE(toolbar, nullptr);
    HIMAGELIST images = (HIMAGELIST)SendMessageA(toolbar, TB_GETIMAGELIST, 0, 0);
    IMAGEINFO info = {};
    ASSERT_TRUE(ImageList_GetImageInfo(images, 0, &info));

    DestroyBitmapToolbar(toolbar, table, 0);
    EXPECT_FALSE(IsWindow(toolbar));
    EXPECT_EQ(GetObjectType(info.hbmImage), 0u) << "image list destroyed";
    for (int i = 0; i < 2; i++)
        EXPECT_EQ(GetObjectType(table[i].bitmap), (DWORD)OBJ_BITMAP) << "bitmap " << i << " kept";

    DestroyBitmapToolbar(NULL, table, 2); // the caller's clean-up of its table
    EXPECT_EQ(table[0].bitmap, nullptr);
    EXPECT_EQ(table[1].bitmap, nullptr);
}

TEST_F(Toolbar, AnImageThatCannotBeAddedLeavesNoToolbar)
{
    table[1].bitmapId = 4242; // no such bitmap: nothing to add
    EXPECT_EQ(CreateBitmapToolbar(hInst, parent, table, 2, 0, 0, 32), nullptr);
    EXPECT_EQ(AnyToolbarOnParent(), nullptr);
    EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
    // What was loaded stays recorded, so the same teardown frees it.
    EXPECT_EQ(GetObjectType(table[0].bitmap), (DWORD)OBJ_BITMAP);
    EXPECT_EQ(table[1].bitmap, nullptr);
    HBITMAP loaded = table[0].bitmap;
    DestroyBitmapToolbar(NULL, table, 2);
    EXPECT_EQ(table[0].bitmap, nullptr);
    EXPECT_EQ(GetObjectType(loaded), 0u);
}

TEST_F(Toolbar, MoreButtonsThanItsRecordsAreRefused)
{
    for (int i = 0; i < TOOLBAR_MAX_BUTTONS + 2; i++) {
        table[i].bitmapId = i % 2 ? IDB_DELETESTOCK : IDB_ADDSTOCK;
        table[i].commandId = i;
        snprintf(table[i].text, sizeof table[i].text, "B%d", i);
    }
    for (int count : {TOOLBAR_MAX_BUTTONS + 1, -1}) {
        SCOPED_TRACE(count);
        EXPECT_EQ(CreateBitmapToolbar(hInst, parent, table, count, 0, 0, 32), nullptr);
        EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
        for (int i = 0; i < TOOLBAR_MAX_BUTTONS + 2; i++)
            EXPECT_EQ(table[i].bitmap, nullptr) << "nothing loaded for entry " << i;
    }

    // Exactly the limit works.
    HWND toolbar = CreateBitmapToolbar(hInst, parent, table, TOOLBAR_MAX_BUTTONS, 0, 0, 32);
    ASSERT_NE(toolbar, nullptr);
    EXPECT_EQ(SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0), TOOLBAR_MAX_BUTTONS);
    EXPECT_EQ(table[TOOLBAR_MAX_BUTTONS].bitmap, nullptr);
    DestroyBitmapToolbar(toolbar, table, TOOLBAR_MAX_BUTTONS);
}

TEST_F(Toolbar, TabControlWithIconsFitsItsPageAndIsTornDown)
{
    const int kTabId = 3001;
    HWND tab = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE, 10, 20, 300, 200, parent,
                               (HMENU)(INT_PTR)kTabId, hInst, NULL);
    ASSERT_NE(tab, nullptr);
    const TabItemDef items[] = {{"Stocks", IDI_QUOTARION}, {"Tray", IDI_TRAY}};
    EXPECT_EQ(FillTabControl(hInst, parent, kTabId, items, 2), 2);

    ASSERT_EQ(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0), 2);
    HIMAGELIST images = (HIMAGELIST)SendMessageA(tab, TCM_GETIMAGELIST, 0, 0);
    ASSERT_NE(images, nullptr);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(images, &cx, &cy);
    EXPECT_EQ(cx, GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(cy, GetSystemMetrics(SM_CYSMICON));
    EXPECT_EQ(ImageList_GetImageCount(images), 2);
    for (int i = 0; i < 2; i++) {
        SCOPED_TRACE(items[i].text);
        char text[TAB_TEXT_SIZE] = "";
        TCITEMA item = {};
        item.mask = TCIF_TEXT | TCIF_IMAGE;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        ASSERT_TRUE(SendMessageA(tab, TCM_GETITEMA, i, (LPARAM)&item));
        EXPECT_STREQ(text, items[i].text);
        EXPECT_EQ(item.iImage, i);
    }

    // A page inside the tab control, below its row of tabs.
    HWND page = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, tab, NULL, hInst, NULL);
    RECT tabItem;
    ASSERT_TRUE(SendMessageA(tab, TCM_GETITEMRECT, 0, (LPARAM)&tabItem));
    EXPECT_TRUE(FitTabPage(page));
    int w, h, top, left;
    GetChildRect(page, &w, &h, &top, &left);
    EXPECT_EQ(left, 2);
    EXPECT_EQ(top, tabItem.bottom + 2);
    EXPECT_EQ(w, 300 - 6);
    EXPECT_EQ(h, 200 - tabItem.bottom - 6);

    IMAGEINFO info = {};
    ASSERT_TRUE(ImageList_GetImageInfo(images, 0, &info));
    EXPECT_TRUE(DestroyTabControl(parent, kTabId));
    EXPECT_EQ(GetDlgItem(parent, kTabId), nullptr);
    EXPECT_FALSE(IsWindow(page));
    EXPECT_EQ(GetObjectType(info.hbmImage), 0u) << "image list destroyed";
}

} // namespace
