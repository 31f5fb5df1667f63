// Resource numbers of TolvarFencat.exe, shared by the resource script and
// the program.
#pragma once

#define IDD_ABOUT_BOX 100
#define IDS_ABOUT_ITEM 101
#define IDD_MAIN_WINDOW 102
#define IDI_MAIN 128
#define IDI_PINNED 129
#define IDI_UNPINNED 130
#define IDC_RESULT_LIST 1000
#define IDM_SHOW_ABOUT 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
