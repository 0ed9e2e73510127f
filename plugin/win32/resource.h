// Ids of Dorrimel's two dialog templates and of their controls. Read by the
// resource compiler and by the C++ code, so only plain #defines.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// The options window (template 101).
#define IDD_OPTIONS 101
#define IDC_LOG_FILE 1000       /* check box "Log into file" */
#define IDC_NOTIFY_TYPE 1001    /* drop-down list of notification forms */
#define IDC_TIMER_INTERVAL 1002 /* edit, seconds */
#define IDC_SHOW_LOG 1003       /* button "Show Log" */
#define IDC_WAIT_TIMEOUT 1004   /* edit, seconds */
#define IDC_REMOVE_TIMEOUT 1005 /* edit, seconds */

// The log window (template 102).
#define IDD_LOG 102
#define IDC_LOG_LIST 1001  /* list box of lines */
#define IDC_PROCESSED 1004 /* "Msg processed:" counter */
#define IDC_WAITING 1005   /* "Msg waiting: " counter */
