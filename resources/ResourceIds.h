// The numbers of the program's resources and commands, shared by the resource
// script and the code. Plain #defines, because the resource compiler reads
// this file too.
#pragma once

// Menus
#define IDM_MAIN 103
#define IDM_POLL_POPUP 107
#define IDM_ADDRESS_POPUP 110
#define IDM_MONITOR_POPUP 111

// Dialog templates
#define IDD_CONNECTION 101
#define IDD_POLL 104
#define IDD_ADD_ADDRESSES 108

// Icons
#define IDI_PROGRAM 111
#define IDI_RUN 132
#define IDI_CONNECTION 133

// Commands. 40006, 40010, 40013, 40021 and 40024 are not used.
#define ID_EXIT 40001
#define ID_COMMS_PARAMETERS 40002
#define ID_ADD_POLL 40003
#define ID_SAVE 40004
#define ID_DELETE_POLL 40005
#define ID_RUN 40007
#define ID_EDIT_POLL 40008
#define ID_TRACK_LATEST 40009
#define ID_OPEN 40011
#define ID_NEW 40012
#define ID_RECENT_FILE 40014
#define ID_SAVE_AS 40015
#define ID_ADD_ADDRESSES 40016
#define ID_ADD_POLLED_ADDRESSES 40017
#define ID_DELETE_ADDRESSES 40018
#define ID_MOVE_POLL_UP 40019
#define ID_MOVE_POLL_DOWN 40020
#define ID_DO_POLL 40022
#define ID_ABOUT 40023
#define ID_LOG_TO_FILE 40025

// Connection Details (IDD_CONNECTION)
#define IDC_CONN_HOST 1001
#define IDC_CONN_PORT 1002
#define IDC_CONN_POLL_RATE 1003
#define IDC_CONN_TIMEOUT 1004
#define IDC_CONN_RETRIES 1005
#define IDC_CONN_MODBUS_ADDRESS 1006
#define IDC_CONN_WEB_PORT 1007
#define IDC_CONN_PROTOCOL 1008
#define IDC_CONN_NETWORK 1013
#define IDC_CONN_SERIAL 1014
#define IDC_CONN_COM_PORT 1015
#define IDC_CONN_BAUD 1016
#define IDC_CONN_PARITY 1017
#define IDC_CONN_STOP_BITS 1018
#define IDC_CONN_HANDSHAKING 1019

// Modbus Poll (IDD_POLL)
#define IDC_POLL_FUNCTION 1005
#define IDC_POLL_START 1006
#define IDC_POLL_QUANTITY 1007
#define IDC_POLL_FORMAT 1008

// Add Addresses (IDD_ADD_ADDRESSES)
#define IDC_ADDR_FIRST 1009
#define IDC_ADDR_LAST 1010
#define IDC_ADDR_STEP 1011
#define IDC_ADDR_TYPE 1012

// Strings. A command id has no string of its own, so menu help shows the
// status bar's default text for every command.
#define IDS_WELCOME 106
#define IDS_CONNECTED 107
#define IDS_NOT_CONNECTED 108
#define IDS_CONNECTING 109
#define IDS_ENTER_VALUE 110
#define IDS_CONNECTION_FAILED 111
#define IDS_ATTEMPTING 112
#define IDS_CONNECTION_LOST 113
#define IDS_CONNECTION_CLOSED 114
#define IDS_TOOL_CONNECTION 115
#define IDS_TOOL_RUN 116
#define IDS_COL_FUNCTION 117
#define IDS_COL_ADDRESS_START 118
#define IDS_COL_ITEM_COUNT 119
#define IDS_COL_NUMBER_FORMAT 120
#define IDS_SAVE_CHANGES 121
#define IDS_COL_TIME 126
#define IDS_COL_DIR 127
#define IDS_COL_DESCRIPTION 128
#define IDS_COL_CONTENT 129
#define IDS_UNKNOWN 130
#define IDS_COL_FIELD 131
#define IDS_COL_DATA_HEX 132
#define IDS_COL_VALUE 133
#define IDS_COL_ADDRESS 134
#define IDS_COL_TYPE 135
#define IDS_POLL 136
#define IDS_REPLY 137
#define IDS_WITH 138
#define IDS_OF_DATA 139
#define IDS_TO 140
#define IDS_TIMEOUT_RETRY 155
#define IDS_TIMEOUT_GIVE_UP 156

// The breakdown's labels and messages. "Address", "Function", "Item Count"
// and "Value" are the column headings above.
#define IDS_BD_MESSAGE_ID 141
#define IDS_BD_PROTOCOL_ID 142
#define IDS_BD_MESSAGE_LENGTH 143
#define IDS_BD_REG_COUNT 144
#define IDS_BD_BYTE_COUNT 145
#define IDS_BD_DATA 146
#define IDS_BD_CRC 147
#define IDS_BD_OUR_ADDRESS 148
#define IDS_BD_EXPECTED 149
#define IDS_BD_BYTES 150
#define IDS_BD_GOT 151
#define IDS_BD_UNRECOGNISED 152
#define IDS_BD_TRUNCATED 153
#define IDS_BD_TOO_LONG 154
#define IDS_BD_ERROR 157
