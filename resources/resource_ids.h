#pragma once

// String resources
#define IDS_TESSARN 1         // "Tessarn Control": the control's user type name
#define IDS_TESSARN_PPG 2     // "Tessarn Property Page"
#define IDS_TESSARN_PPG_CAPTION 200  // "General"

// Result texts: see control/result_codes.cpp for the code-to-ID table.
#define IDS_RESULT_FIRST 3
#define IDS_RESULT_LAST 41

// Dialogs
#define IDD_ABOUTBOX_TESSARN 1
#define IDD_PROPPAGE_TESSARN 200

// Bitmap and icon
#define IDB_TESSARN 1
#define IDI_ABOUTDLL 1
