/* Toolbar and image-list helpers: a bitmap toolbar, and a tab control with
 * small icons, built from static tables and torn down again. UI thread. */
#ifndef QUOTARION_UI_TOOLBAR_H
#define QUOTARION_UI_TOOLBAR_H

#include <windows.h>

#define TOOLBAR_TEXT_SIZE 64
#define TOOLBAR_MAX_BUTTONS 20
#define TAB_TEXT_SIZE 40

struct ToolbarButtonDef {
    int bitmapId;                   /* bitmap resource id */
    int commandId;                  /* sent to the parent in WM_COMMAND */
    HBITMAP bitmap;                 /* loaded by CreateBitmapToolbar, deleted by DestroyBitmapToolbar */
    char text[TOOLBAR_TEXT_SIZE];
};

struct TabItemDef {
    char text[TAB_TEXT_SIZE];
    int iconId;
};

/* A toolbar along the top (bottom when bottom is non-zero) of the parent, one
 * button per table entry; text beside the picture at image size 16, under it at
 * other sizes. Records each loaded bitmap in its entry. Returns the toolbar, or
 * null, leaving no toolbar or image list behind, when the window, the image list
 * or an image cannot be made; bitmaps loaded before a failed image stay recorded
 * in the table for DestroyBitmapToolbar to free. A count above 20 (or negative) is
 * refused before anything is loaded. */
HWND CreateBitmapToolbar(HINSTANCE instance, HWND parent, ToolbarButtonDef *buttons, int count, int bottom,
                         int tooltips, int imageSize);
/* Destroys the toolbar and its image list, then deletes the first count bitmaps
 * of the table and clears their handles, so the table can build a toolbar again.
 * A null toolbar only frees the table's bitmaps. Returns DestroyWindow's result. */
int DestroyBitmapToolbar(HWND toolbar, ToolbarButtonDef *buttons, int count);

/* Gives the dialog's tab control a small-icon image list and one tab per entry
 * (text and icon). Returns count; nothing is checked. */
int FillTabControl(HINSTANCE instance, HWND dialog, int tabId, const TabItemDef *items, int count);
/* Destroys the tab control and then its image list; the last call's result. */
BOOL DestroyTabControl(HWND dialog, int tabId);

#endif
