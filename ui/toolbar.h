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

/* Returns the toolbar, or null (no toolbar or image list left behind) when the
 * window, the image list or an image cannot be made, or count exceeds 20. */
HWND CreateBitmapToolbar(HINSTANCE instance, HWND parent, ToolbarButtonDef *buttons, int count, int bottom,
                         int tooltips, int imageSize);
int DestroyBitmapToolbar(HWND toolbar, ToolbarButtonDef *buttons, int count);

int FillTabControl(HINSTANCE instance, HWND dialog, int tabId, const TabItemDef *items, int count);
BOOL DestroyTabControl(HWND dialog, int tabId);

#endif
