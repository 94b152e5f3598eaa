// The numbers by which frm_main.rc and the code name the window's resources and
// commands. Plain #defines, as the resource compiler reads this file too.
#ifndef VELMOTH_APP_WIN32_RESOURCE_IDS_H_
#define VELMOTH_APP_WIN32_RESOURCE_IDS_H_

// The keys of the list, offered only while it has the focus, and those of the
// whole window.
#define IDA_LIST_KEYS 100
#define IDA_WINDOW_KEYS 101

// The context menu's commands: entry i of kContextMenu is IDM_CONTEXT_FIRST + i.
#define IDM_CONTEXT_FIRST 201
#define IDM_VIEW_MESSAGE 201
#define IDM_DELETE_FROM_BAD_MAIL 202
#define IDM_DETAILS 203
#define IDM_TICK_MATCHING 204
// kRefreshKey's command.
#define IDM_REFRESH 210

// The details dialog: a read-only box for each field.
#define IDD_DETAILS 300
#define IDC_DETAILS_NAME 301
#define IDC_DETAILS_FROM 302
#define IDC_DETAILS_TO 303
#define IDC_DETAILS_CC 304
#define IDC_DETAILS_SUBJECT 305
#define IDC_DETAILS_DATE 306
#define IDC_DETAILS_MESSAGE_ID 307
#define IDC_DETAILS_SIZE 308
#define IDC_DETAILS_MESSAGE_DATE 309
#define IDC_DETAILS_COMMAND_DATE 310
#define IDC_DETAILS_COMMAND 311
#define IDC_DETAILS_HEADER 312

// The tick matching dialog.
#define IDD_TICK_MATCHING 400
#define IDC_MATCH_TEXT 401
#define IDC_MATCH_FIELD 402
#define IDC_MATCH_AFTER 403
#define IDC_MATCH_BEFORE 404
#define IDC_MATCH_STATUS 405
#define IDC_MATCH_TICK 406
#define IDC_MATCH_UNTICK 407

#endif  // VELMOTH_APP_WIN32_RESOURCE_IDS_H_
