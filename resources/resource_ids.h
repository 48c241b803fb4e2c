#pragma once

// String resources
#define IDS_TESSARN 1         // "Tessarn Control": the control's user type name
#define IDS_TESSARN_PPG 2     // "Tessarn Property Page"
#define IDS_TESSARN_PPG_CAPTION 200  // "General"

// Result texts: see control/result_codes.cpp for the code-to-ID table.
#define IDS_RESULT_FIRST 3
#define IDS_RESULT_LAST 42

// The site lock's prompt and the property page (both languages).
#define IDS_CONSENT_CAPTION 300
#define IDS_CONSENT_QUESTION 301
#define IDS_CONSENT_HINT 302
#define IDS_CONSENT_ALLOW_ONCE 303
#define IDS_CONSENT_ALWAYS_ALLOW 304
#define IDS_CONSENT_DENY 305
#define IDS_CONSENT_IP_ADDRESS 306
#define IDS_PPG_USER_LIST 310
#define IDS_PPG_REMOVE 311
#define IDS_PPG_MACHINE_LIST 312
#define IDS_PPG_POLICY_ALLOWED 313
#define IDS_PPG_POLICY_DENIED 314
#define IDS_PPG_LOG_LEVEL 315
#define IDS_PPG_LOG_FILES 316
#define IDS_PPG_NONE 317

// Dialogs
#define IDD_ABOUTBOX_TESSARN 1
#define IDD_PROPPAGE_TESSARN 200
#define IDD_CONSENT 300

// Controls of the dialogs
#define IDC_ABOUT_VERSION 100
#define IDC_ABOUT_SUFFIX_LIST 101
#define IDC_CONSENT_QUESTION 301
#define IDC_CONSENT_ORIGIN 302
#define IDC_CONSENT_HINT 303
#define IDC_CONSENT_ALLOW_ONCE 304
#define IDC_CONSENT_ALWAYS_ALLOW 305
#define IDC_CONSENT_DENY 306
#define IDC_CONSENT_SITE 307
#define IDC_PPG_USER_LABEL 210
#define IDC_PPG_USER_LIST 211
#define IDC_PPG_REMOVE 212
#define IDC_PPG_MACHINE_LABEL 213
#define IDC_PPG_MACHINE_LIST 214
#define IDC_PPG_LOG_LEVEL 215
#define IDC_PPG_LOG_FILES 216

// Bitmap and icon
#define IDB_TESSARN 1
#define IDI_ABOUTDLL 1
