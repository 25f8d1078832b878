// Resource and control ids of Tolvane and Brackwell.
#pragma once

#define IDD_CONTROL 103
#define IDI_TOOL 107

#define IDC_START 1000
#define IDC_STOP 1001
#define IDC_STATUS 1002
#define IDC_ERRORCODE 1003
// Hex fields of the trace levels Error, Warning, Info, Debug.
#define IDC_MASK_ERROR 1004
#define IDC_MASK_WARNING 1005
#define IDC_MASK_INFO 1006
#define IDC_MASK_DEBUG 1007
// First check box of each level's column; row r is first + r - 1.
#define IDC_TRACE_ERROR 1011
#define IDC_TRACE_WARNING 1031
#define IDC_TRACE_INFO 1051
#define IDC_TRACE_DEBUG 1071
#define IDC_TRACE_LAST 1081
#define IDC_TRACE_FILE 1090
