/* Resource and control ids, shared by the resource script and the code. */
#ifndef QUOTARION_UI_RESOURCE_H
#define QUOTARION_UI_RESOURCE_H

/* Templates, menus, pictures. */
#define IDD_PANEL 101
#define IDR_MAINMENU 102
#define IDI_QUOTARION 115
#define IDD_ADDSTOCK 116
#define IDD_ABOUT 117
#define IDI_TRAY 135
#define IDB_LOGO 137
#define IDB_ADDSTOCK 138
#define IDB_DELETESTOCK 139

/* Panel (template 101). */
#define IDC_STOCKLIST 1001
#define IDC_PRICE_BOTTOM 1007
#define IDC_PRICE_MIDDLE 1008
#define IDC_CHART 1092
#define IDC_PRICE_TOP 1093

/* Add-stock dialog (template 116). */
#define IDC_TICKER_EDIT 1073
#define IDC_ADD 1084

/* About dialog (template 117). */
#define IDC_ABOUT_ICON 1094
#define IDC_ABOUT_NAME 1095
#define IDC_ABOUT_VERSION 1096
#define IDC_ABOUT_RIGHTS 1097
#define IDC_ABOUT_WEBLABEL 1098
#define IDC_ABOUT_LINK 1099

/* Toolbar commands of the panel. */
#define IDC_TB_ADDSTOCK 0
#define IDC_TB_DELETESTOCK 1

/* Main menu. */
#define IDM_ABOUT 40005
#define IDM_ADDSTOCK 40006
#define IDM_REMOVESTOCK 40008
#define IDM_EXIT 40010
#define IDM_PRODUCTWEB 40012

#endif
