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

// The upload run's dialogs: progress, same-name and missing-file prompts, and
// the name-entry dialog the download side shares.
#define IDD_UPLOAD_PROGRESS 205
#define IDD_CHANGE_FILENAME 209
#define IDD_UPLOAD_SAME 210
#define IDD_FILE_NOT_FOUND 224

#define IDC_UP_FILE_NAME 204
#define IDC_UP_FILE_BAR 205
#define IDC_UP_RUN_BAR 206
#define IDC_UP_LIST 207
#define IDC_UP_SPEED 208
#define IDC_UP_FILE_SIZE 209
#define IDC_UP_FILE_SENT 210
#define IDC_UP_RUN_TOTAL 211
#define IDC_UP_RUN_SENT 212
#define IDC_UP_CANCEL 213
#define IDC_UP_NAME_LABEL 256
#define IDC_UP_TIME_LABEL 257
#define IDC_UP_TIME_LEFT 258
#define IDC_UP_STATUS 267

#define IDC_RENAME_PROMPT 243
#define IDC_RENAME_EDIT 242

#define IDC_SAME_HEADING 246
#define IDC_SAME_FRAME 247
#define IDC_SAME_NAME_LABEL 248
#define IDC_SAME_SIZE_LABEL 249
#define IDC_SAME_NAME 250
#define IDC_SAME_SIZE 251
#define IDC_SAME_ALL 252
#define IDC_SAME_OVERWRITE 253
#define IDC_SAME_RENAME 254
#define IDC_SAME_SKIP 255

#define IDC_MISSING_HEADING 261
#define IDC_MISSING_FRAME 262
#define IDC_MISSING_NAME 263
