// Command, string and window ids the framework itself uses. Resource files
// include this too (plain #defines only), so menus and string tables can name
// the same ids as the code.
#pragma once

#define ID_SEPARATOR 0
#define ID_FILE_NEW 57600
#define ID_FILE_OPEN 57601
#define ID_FILE_CLOSE 57602
#define ID_FILE_SAVE 57603
#define ID_FILE_SAVE_AS 57604
#define ID_FILE_PRINT 57607
#define ID_FILE_MRU_FILE1 57616
#define ID_FILE_MRU_FILE2 57617
#define ID_FILE_MRU_FILE3 57618
#define ID_FILE_MRU_FILE4 57619
#define ID_FILE_MRU_LAST 57631
#define ID_EDIT_CLEAR 57632
#define ID_EDIT_CLEAR_ALL 57633
#define ID_EDIT_COPY 57634
#define ID_EDIT_CUT 57635
#define ID_EDIT_FIND 57636
#define ID_EDIT_PASTE 57637
#define ID_EDIT_REPEAT 57640
#define ID_EDIT_REPLACE 57641
#define ID_EDIT_SELECT_ALL 57642
#define ID_EDIT_UNDO 57643
#define ID_EDIT_REDO 57644
#define ID_WINDOW_NEW 57648
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665
#define ID_HELP_INDEX 57666
#define ID_HELP_FINDER 57667
#define ID_HELP_USING 57668
#define ID_CONTEXT_HELP 57669
#define ID_HELP 57670
#define ID_DEFAULT_HELP 57671
#define ID_NEXT_PANE 57680
#define ID_PREV_PANE 57681
#define ID_VIEW_TOOLBAR 59392
#define ID_VIEW_STATUS_BAR 59393

#define ID_INDICATOR_EXT 59136
#define ID_INDICATOR_CAPS 59137
#define ID_INDICATOR_NUM 59138
#define ID_INDICATOR_SCRL 59139
#define ID_INDICATOR_OVR 59140
#define ID_INDICATOR_REC 59141

// Child window ids inside a frame.
#define AFX_IDW_TOOLBAR 0xE800
#define AFX_IDW_STATUS_BAR 0xE801
#define AFX_IDW_PANE_FIRST 0xE900

// Framework strings (the program's string table carries the texts).
#define AFX_IDS_APP_TITLE 57344
#define AFX_IDS_IDLEMESSAGE 57345
#define AFX_IDS_HELPMODEMESSAGE 57346
#define AFX_IDS_SAVEFILE 61440
#define AFX_IDS_SAVEFILECOPY 61441
#define AFX_IDS_OPENFILE 61442
#define AFX_IDS_UNTITLED 61443
#define AFX_IDS_ALLFILTER 61446
#define AFX_IDP_INVALID_FILENAME 61696
#define AFX_IDP_FAILED_TO_OPEN_DOC 61697
#define AFX_IDP_FAILED_TO_SAVE_DOC 61698
#define AFX_IDP_ASK_TO_SAVE 61699
#define AFX_IDP_FAILED_TO_CREATE_DOC 61700
#define AFX_IDP_FAILED_MEMORY_ALLOC 61713
#define AFX_IDP_INTERNAL_FAILURE 61714
#define AFX_IDP_FILE_NOT_FOUND 61858

// Modal loops send this while no message waits; a handler returning 0 ends
// the idle work until the next message.
#define WM_KICKIDLE 0x036A
#define WM_IDLEUPDATECMDUI 0x0363
// Help for the active command (F1 in a dialog reaches WM_HELP instead).
#define WM_COMMANDHELP 0x0365
// The system's own timer message (the caret's blink).
#ifndef WM_SYSTIMER
#define WM_SYSTIMER 0x0118
#endif
