/* Toolbar and image-list helpers: a bitmap toolbar and a tab control with small
 * icons, each built from a caller's static table and torn down again.
 *
 * The toolbar's pictures are bitmap resources whose handles are kept in the
 * caller's table for the life of the toolbar, so that the table itself is what
 * tells DestroyBitmapToolbar which bitmaps to delete. UI thread only. */
#include "ui/toolbar.h"

#include <commctrl.h>
#include <string.h>

HWND CreateBitmapToolbar(HINSTANCE instance, HWND parent, ToolbarButtonDef *buttons, int count, int bottom,
                         int tooltips, int imageSize)
{
    TBBUTTON records[TOOLBAR_MAX_BUTTONS];

    /* The button records are a fixed array: more buttons than it holds are refused
     * before anything is created or loaded. */
    if (count < 0 || count > TOOLBAR_MAX_BUTTONS)
        return NULL;

    DWORD style = WS_CHILD | TBSTYLE_TRANSPARENT;
    if (bottom)
        style |= CCS_BOTTOM;
    if (tooltips)
        style |= TBSTYLE_TOOLTIPS;
    if (imageSize == 16)
        style |= TBSTYLE_LIST; /* text beside the picture; other sizes put it underneath */

    HWND toolbar = CreateWindowExA(0, TOOLBARCLASSNAMEA, NULL, style, 0, 0, 0, 0, parent, (HMENU)0, instance, NULL);
    if (!toolbar)
        return NULL;

    UINT colours = imageSize == 16 ? (ILC_COLOR16 | ILC_MASK) : (ILC_COLOR32 | ILC_MASK);
    HIMAGELIST images = ImageList_Create(imageSize, imageSize, colours, count, 0);
    if (!images) {
        DestroyWindow(toolbar);
        return NULL;
    }

    memset(records, 0, sizeof records);
    for (int i = 0; i < count; i++) {
        buttons[i].bitmap = LoadBitmapA(instance, MAKEINTRESOURCEA((WORD)buttons[i].bitmapId));
        int index = ImageList_Add(images, buttons[i].bitmap, NULL);
        if (index == -1) {
            /* The bitmaps loaded so far stay recorded in the table; the caller's
             * DestroyBitmapToolbar over the same table deletes them. */
            ImageList_Destroy(images);
            DestroyWindow(toolbar);
            return NULL;
        }
        records[i].iBitmap = index;
        records[i].idCommand = buttons[i].commandId;
        records[i].fsState = TBSTATE_ENABLED;
        records[i].fsStyle = BTNS_AUTOSIZE;
        records[i].dwData = 0;
        records[i].iString = (INT_PTR)buttons[i].text;
    }

    SendMessageA(toolbar, TB_SETIMAGELIST, 0, (LPARAM)images);
    /* The platform's own record size (20 bytes on 32-bit Windows, 32 on 64-bit). */
    SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(toolbar, TB_ADDBUTTONSA, (WPARAM)count, (LPARAM)records);
    SendMessageA(toolbar, TB_AUTOSIZE, 0, 0);
    ShowWindow(toolbar, SW_SHOWNORMAL);
    return toolbar;
}

int DestroyBitmapToolbar(HWND toolbar, ToolbarButtonDef *buttons, int count)
{
    HIMAGELIST images = (HIMAGELIST)SendMessageA(toolbar, TB_GETIMAGELIST, 0, 0);
    int result = DestroyWindow(toolbar);
    if (images)
        ImageList_Destroy(images);
    for (int i = 0; i < count; i++) {
        if (buttons[i].bitmap) {
            DeleteObject(buttons[i].bitmap);
            buttons[i].bitmap = NULL;
        }
    }
    return result;
}

int FillTabControl(HINSTANCE instance, HWND dialog, int tabId, const TabItemDef *items, int count)
{
    HWND tab = GetDlgItem(dialog, tabId);
    HIMAGELIST images = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                         ILC_COLOR16 | ILC_MASK, count, 1);
    SendMessageA(tab, TCM_SETIMAGELIST, 0, (LPARAM)images);

    for (int i = 0; i < count; i++) {
        HICON icon = (HICON)LoadImageA(instance, MAKEINTRESOURCEA((WORD)items[i].iconId), IMAGE_ICON, 16, 16,
                                       LR_DEFAULTCOLOR);
        int image = ImageList_ReplaceIcon(images, -1, icon);
        /* The image list keeps its own copy; the loaded icon is ours to free. */
        if (icon)
            DestroyIcon(icon);

        TCITEMA item;
        memset(&item, 0, sizeof item);
        item.mask = TCIF_TEXT | TCIF_IMAGE;
        item.pszText = (char *)items[i].text;
        item.cchTextMax = (int)strlen(items[i].text);
        item.iImage = image;
        SendMessageA(tab, TCM_INSERTITEMA, (WPARAM)i, (LPARAM)&item);
    }
    return count;
}

BOOL DestroyTabControl(HWND dialog, int tabId)
{
    HWND tab = GetDlgItem(dialog, tabId);
    HIMAGELIST images = (HIMAGELIST)SendMessageA(tab, TCM_GETIMAGELIST, 0, 0);
    BOOL result = DestroyWindow(tab);
    if (images)
        result = ImageList_Destroy(images);
    return result;
}
