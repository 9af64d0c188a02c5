// The window toolkit's placement and layout helpers, on real windows under the test
// display: centring, stretching and docking children, list-view columns from a
// table, and the creation helpers. Expected rectangles come from the helpers'
// arithmetic over the windows' real client sizes.
#include "ui/layout.h"
#include "ui/resource.h"

#include "ui_test_support.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

class Layout : public ::testing::Test {
protected:
    void SetUp() override { uitest::InitProcess(); }
    void TearDown() override
    {
        // Owned and child windows first, then their owners.
        for (auto it = windows.rbegin(); it != windows.rend(); ++it)
            if (IsWindow(*it))
                DestroyWindow(*it);
        uitest::PumpMessages();
    }
    HWND Track(HWND window)
    {
        EXPECT_NE(window, nullptr);
        windows.push_back(window);
        return window;
    }
    std::vector<HWND> windows;
};

RECT ScreenRect(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return r;
}

struct CentreCase {
    const char *label;
    int ownerX, ownerY, ownerW, ownerH;
    int winW, winH;
    int wantX, wantY;
};

TEST_F(Layout, CenterWindowCentresOverOwnerTruncatingTowardZero)
{
    const CentreCase cases[] = {
        {"odd differences are truncated", 0, 0, 200, 300, 101, 101, 49, 99},
        {"even differences", 100, 50, 400, 300, 200, 100, 200, 150},
        {"owner away from the origin", 37, 11, 200, 200, 101, 50, 86, 86},
        {"larger than the owner: left of and above its corner", 0, 0, 200, 100, 301, 151, -50, -25},
    };
    for (const CentreCase &c : cases) {
        SCOPED_TRACE(c.label);
        HWND owner = Track(uitest::CreatePlainWindow(WS_POPUP, c.ownerX, c.ownerY, c.ownerW, c.ownerH));
        HWND window = Track(uitest::CreatePlainWindow(WS_POPUP, 600, 500, c.winW, c.winH, owner));
        ASSERT_EQ(GetParent(window), owner);
        EXPECT_TRUE(CenterWindow(window));
        RECT r = ScreenRect(window);
        EXPECT_EQ(r.left, c.wantX);
        EXPECT_EQ(r.top, c.wantY);
        EXPECT_EQ(r.right - r.left, c.winW) << "size kept";
        EXPECT_EQ(r.bottom - r.top, c.winH) << "size kept";
    }
}

TEST_F(Layout, CenterWindowWithoutOwnerUsesTheDesktopAndComesToTop)
{
    HWND window = Track(uitest::CreatePlainWindow(WS_POPUP, 3, 4, 301, 201));
    HWND cover = Track(uitest::CreatePlainWindow(WS_POPUP, 0, 0, 50, 50));
    RECT desktop = ScreenRect(GetDesktopWindow());
    EXPECT_TRUE(CenterWindow(window));
    RECT r = ScreenRect(window);
    EXPECT_EQ(r.left, desktop.left + (desktop.right - desktop.left - 301) / 2);
    EXPECT_EQ(r.top, desktop.top + (desktop.bottom - desktop.top - 201) / 2);

    // The window now lies above the one created after it.
    bool coverBelow = false;
    for (HWND w = GetWindow(window, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
        coverBelow |= w == cover;
    EXPECT_TRUE(coverBelow);
}

// A captioned parent whose client area is exactly 400 x 500, so that screen, window
// and client coordinates all differ, with one child at (30, 100), 120 x 60.
class Placement : public Layout {
protected:
    static const int kChildId = 77;
    void SetUp() override
    {
        Layout::SetUp();
        parent = Track(uitest::CreatePlainWindow(WS_OVERLAPPEDWINDOW, 50, 60, 300, 300));
        uitest::SetClientSize(parent, 400, 500);
        RECT client;
        GetClientRect(parent, &client);
        ASSERT_EQ(client.right, 400);
        ASSERT_EQ(client.bottom, 500);
        child = Track(CreateWindowExA(0, "STATIC", "x", WS_CHILD | WS_VISIBLE, 30, 100, 120, 60, parent,
                                      (HMENU)(INT_PTR)kChildId, hInst, NULL));
    }
    void Reset() { MoveWindow(child, 30, 100, 120, 60, TRUE); }
    RECT ChildRect()
    {
        int w = -1, h = -1, top = -1, left = -1;
        GetChildRect(child, &w, &h, &top, &left);
        RECT r = {left, top, w, h}; // left, top, width, height
        return r;
    }
    HWND parent = NULL;
    HWND child = NULL;
};

TEST_F(Placement, GetChildRectGivesTheRectangleInParentClientCoordinates)
{
    int w = -1, h = -1, top = -1, left = -1;
    GetChildRect(child, &w, &h, &top, &left);
    EXPECT_EQ(w, 120);
    EXPECT_EQ(h, 60);
    EXPECT_EQ(top, 100);
    EXPECT_EQ(left, 30);
}

struct PlacementCase {
    const char *label;
    BOOL (*place)(HWND parent, HWND child, int id);
    int left, top, width, height;
};

TEST_F(Placement, StretchAndDockTableOfCases)
{
    const PlacementCase cases[] = {
        {"StretchToBottom percent 40: 500 - 100 - 200",
         [](HWND p, HWND c, int) { return StretchToBottom(p, c, 0, 40); }, 30, 100, 120, 200},
        {"StretchToBottom percent 40 ignores the margin",
         [](HWND p, HWND c, int) { return StretchToBottom(p, c, 10, 40); }, 30, 100, 120, 200},
        {"StretchToBottom percent 0 margin 10: 500 - 100 - 10",
         [](HWND p, HWND c, int) { return StretchToBottom(p, c, 10, 0); }, 30, 100, 120, 390},
        {"StretchToBottom percent 7 truncates: 500 - 100 - 35",
         [](HWND p, HWND c, int) { return StretchToBottom(p, c, 0, 7); }, 30, 100, 120, 365},
        {"StretchItemToBottom margin 10", [](HWND p, HWND, int id) { return StretchItemToBottom(p, id, 10); }, 30,
         100, 120, 390},
        {"StretchToRight margin 5: 400 - 30 - 5", [](HWND, HWND c, int) { return StretchToRight(c, 5); }, 30, 100,
         365, 60},
        {"StretchItemToRight margin 0", [](HWND p, HWND, int id) { return StretchItemToRight(p, id, 0); }, 30, 100,
         370, 60},
        {"DockToBottom margin 10: top 500 - 60 - 10", [](HWND, HWND c, int) { return DockToBottom(c, 10); }, 30,
         430, 120, 60},
        {"DockToBottom margin 0", [](HWND, HWND c, int) { return DockToBottom(c, 0); }, 30, 440, 120, 60},
    };
    for (const PlacementCase &c : cases) {
        SCOPED_TRACE(c.label);
        Reset();
        EXPECT_TRUE(c.place(parent, child, kChildId));
        RECT r = ChildRect();
        EXPECT_EQ(r.left, c.left);
        EXPECT_EQ(r.top, c.top);
        EXPECT_EQ(r.right, c.width);
        EXPECT_EQ(r.bottom, c.height);
    }
}

TEST_F(Placement, MissingItemsFailQuietly)
{
    EXPECT_FALSE(StretchItemToBottom(parent, 4242, 0));
    EXPECT_FALSE(StretchItemToRight(parent, 4242, 0));
    EXPECT_FALSE(DockToBottom(NULL, 0));
    RECT r = ChildRect();
    EXPECT_EQ(r.left, 30);
    EXPECT_EQ(r.bottom, 60) << "the real child is untouched";
}

TEST_F(Layout, CreateStaticTextStartsWithOneSpaceAndTheGivenStyle)
{
    HWND parent = Track(uitest::CreatePlainWindow(WS_OVERLAPPEDWINDOW, 40, 40, 500, 400));
    struct {
        DWORD extra;
        int centre;
        DWORD wantStyle;
    } cases[] = {
        {SS_RIGHT | SS_CENTERIMAGE, 0, WS_CHILD | WS_VISIBLE | 0x202},
        {0, 1, WS_CHILD | WS_VISIBLE | SS_CENTER},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.wantStyle);
        HWND text = Track(CreateStaticText(hInst, parent, 12, 34, 100, 20, c.extra, c.centre));
        char buffer[32] = "";
        GetWindowTextA(text, buffer, sizeof buffer);
        EXPECT_STREQ(buffer, " ");
        char cls[32] = "";
        GetClassNameA(text, cls, sizeof cls);
        EXPECT_STRCASEEQ(cls, "Static");
        EXPECT_EQ((DWORD)GetWindowLongA(text, GWL_STYLE), c.wantStyle);
        EXPECT_EQ(GetWindowLongA(text, GWL_EXSTYLE), 0);
        EXPECT_EQ(GetDlgCtrlID(text), 0);
        EXPECT_EQ(GetParent(text), parent);
        int w, h, top, left;
        GetChildRect(text, &w, &h, &top, &left);
        EXPECT_EQ(left, 12);
        EXPECT_EQ(top, 34);
        EXPECT_EQ(w, 100);
        EXPECT_EQ(h, 20);

        EXPECT_TRUE(SetWindowTextMsg(text, "Monitored Stocks  "));
        GetWindowTextA(text, buffer, sizeof buffer);
        EXPECT_STREQ(buffer, "Monitored Stocks  ");
    }
}

LPARAM gInitParam = -1;
HWND gInitDialog = NULL;

INT_PTR CALLBACK RecordingDlgProc(HWND dialog, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        gInitParam = lParam;
        gInitDialog = dialog;
        return 1;
    }
    return 0;
}

TEST_F(Layout, CreateModelessDialogShowsTheTemplateOwnedByTheParent)
{
    HWND owner = Track(uitest::CreatePlainWindow(WS_OVERLAPPEDWINDOW, 40, 40, 500, 400));
    gInitParam = -1;
    HWND dialog = Track(CreateModelessDialog(hInst, owner, RecordingDlgProc, IDD_ADDSTOCK));
    EXPECT_EQ(gInitDialog, dialog);
    EXPECT_EQ(gInitParam, 0);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner);
    EXPECT_NE(GetDlgItem(dialog, IDC_TICKER_EDIT), nullptr);

    EXPECT_EQ(CreateModelessDialog(hInst, owner, RecordingDlgProc, 4242), nullptr) << "no such template";
}

// A report list view 400 x 200 (with a border) in a plain parent, id 1001.
class ListColumns : public Layout {
protected:
    void SetUp() override
    {
        Layout::SetUp();
        parent = Track(uitest::CreatePlainWindow(WS_OVERLAPPEDWINDOW, 40, 40, 600, 400));
        list = Track(CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT, 10, 10,
                                     400, 200, parent, (HMENU)(INT_PTR)IDC_STOCKLIST, hInst, NULL));
        RECT client;
        GetClientRect(list, &client);
        base = client.right - client.left;
    }
    static void SetColumns(ListColumnTable *t, std::initializer_list<ListColumnDef> defs)
    {
        memset(t, 0, sizeof *t);
        t->controlId = IDC_STOCKLIST;
        for (const ListColumnDef &d : defs)
            t->columns[t->columnCount++] = d;
    }
    int ColumnCount() { return (int)SendMessageA(ListView_GetHeader(list), HDM_GETITEMCOUNT, 0, 0); }
    void AddRow(const char *text)
    {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = ListView_GetItemCount(list);
        item.pszText = (char *)text;
        ASSERT_GE(SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&item), 0);
    }
    void ExpectColumn(int index, const ListColumnDef &def, int subItem)
    {
        SCOPED_TRACE(def.text);
        char text[LIST_COLUMN_TEXT_SIZE] = "";
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.pszText = text;
        column.cchTextMax = sizeof text;
        ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, index, (LPARAM)&column));
        EXPECT_STREQ(text, def.text);
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, def.format);
        EXPECT_EQ(column.cx, def.widthPercent * base / 100);
        EXPECT_EQ(column.iSubItem, subItem);
    }
    HWND parent = NULL;
    HWND list = NULL;
    int base = 0;
};

TEST_F(ListColumns, ColumnsFromPercentagesNotNormalised)
{
    ListColumnTable table;
    SetColumns(&table, {{50, LVCFMT_LEFT, "Ticker"}, {30, LVCFMT_RIGHT, "Price"}, {45, LVCFMT_CENTER, "Change"}});
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES);
    AddRow("one");
    AddRow("two");

    LRESULT previous = SetupListColumns(parent, &table);
    EXPECT_EQ(previous, LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES) << "the result of the last message";
    EXPECT_EQ(table.listWindow, list);
    ASSERT_EQ(ColumnCount(), 3);
    for (int i = 0; i < 3; i++)
        ExpectColumn(i, table.columns[i], i);
    EXPECT_EQ(ListView_GetItemCount(list), 0) << "rows removed";
    EXPECT_EQ(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);

    // 125 percent: the columns are wider than the list, which scrolls sideways.
    int total = 0;
    for (int i = 0; i < 3; i++)
        total += (int)SendMessageA(list, LVM_GETCOLUMNWIDTH, i, 0);
    EXPECT_GT(total, base);
    SCROLLINFO scroll = {};
    scroll.cbSize = sizeof scroll;
    scroll.fMask = SIF_RANGE | SIF_PAGE;
    ASSERT_TRUE(GetScrollInfo(list, SB_HORZ, &scroll));
    EXPECT_GT(scroll.nMax - scroll.nMin + 1, (int)scroll.nPage);
}

TEST_F(ListColumns, SecondCallInsertsAnotherSetInFrontAndClearsRows)
{
    ListColumnTable first, second;
    SetColumns(&first, {{50, LVCFMT_LEFT, "Ticker"}, {30, LVCFMT_RIGHT, "Price"}, {20, LVCFMT_CENTER, "Change"}});
    SetColumns(&second, {{10, LVCFMT_LEFT, "A"}, {15, LVCFMT_RIGHT, "B"}});
    SetupListColumns(parent, &first);
    AddRow("row");
    SetupListColumns(parent, &second);

    ASSERT_EQ(ColumnCount(), 5);
    ExpectColumn(0, second.columns[0], 0);
    ExpectColumn(1, second.columns[1], 1);
    // The first set moved right; the list renumbers their subitems.
    char text[LIST_COLUMN_TEXT_SIZE];
    for (int i = 0; i < 3; i++) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = text;
        column.cchTextMax = sizeof text;
        ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, 2 + i, (LPARAM)&column));
        EXPECT_STREQ(text, first.columns[i].text);
        EXPECT_EQ(column.cx, first.columns[i].widthPercent * base / 100);
    }
    EXPECT_EQ(ListView_GetItemCount(list), 0);
}

TEST_F(ListColumns, CountBeyondTheTableIsCutToItsSize)
{
    ListColumnTable table;
    memset(&table, 0, sizeof table);
    table.controlId = IDC_STOCKLIST;
    for (int i = 0; i < LIST_COLUMNS_MAX; i++) {
        table.columns[i].widthPercent = 5;
        snprintf(table.columns[i].text, sizeof table.columns[i].text, "C%d", i);
    }
    table.columnCount = LIST_COLUMNS_MAX + 30;
    SetupListColumns(parent, &table);
    EXPECT_EQ(ColumnCount(), LIST_COLUMNS_MAX);
}

TEST_F(ListColumns, MissingListViewFailsQuietly)
{
    ListColumnTable table;
    SetColumns(&table, {{50, LVCFMT_LEFT, "Ticker"}});
    table.controlId = 4242;
    table.listWindow = (HWND)1;
    EXPECT_EQ(SetupListColumns(parent, &table), 0);
    EXPECT_EQ(table.listWindow, nullptr);
    EXPECT_EQ(ColumnCount(), 0) << "the real list is untouched";
}

} // namespace
