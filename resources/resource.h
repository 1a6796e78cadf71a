// Resource identifiers of the module.
#pragma once

#define IDS_PARVEX_UP 1
#define IDS_PARVEX_UP_PPG 2
#define IDS_PARVEX_DN 3
#define IDS_PARVEX_DN_PPG 4
#define IDS_PARVEX_UP_PPG_CAPTION 200
#define IDS_PARVEX_DN_PPG_CAPTION 201

// Dialogs
#define IDD_ABOUTBOX_PARVEX_UP 1
#define IDD_ABOUTBOX_PARVEX_DN 2
#define IDD_UPLOAD_LIST 104
#define IDD_PROPPAGE_PARVEX_UP 200
#define IDD_PROPPAGE_PARVEX_DN 201
#define IDC_UPLOAD_LIST_VIEW 203

// Icons and bitmaps
#define IDI_PARVEX 1
#define IDI_SERVER_FILE 223
#define IDB_PARVEX_UP 1
#define IDB_PARVEX_DN 2
#define IDB_HEADER_CHECKS 203
