// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Resource and control identifiers of the Windows program, shared by the
// resource script, the dialog layer and the end-to-end tests.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_ORVANE_DIALOG 102

// Strings.
#define IDS_ABOUTBOX 101

// Icons and bitmaps.
#define IDR_MAINFRAME 128
#define IDB_BANNER 129
#define IDB_NOTICE 130

// Controls of the updater dialog besides IDCANCEL.
#define IDC_UPDATE 1002

// System-menu command of the About entry; the low four bits of a system
// command are the system's own, so only bits 4 to 15 identify it.
#define IDM_ABOUTBOX 0x0010
