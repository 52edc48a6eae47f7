// Ids of the installer's resources and of the controls of its dialogs.
#ifndef KAVLIN_RES_RESOURCE_H
#define KAVLIN_RES_RESOURCE_H

// Main dialog (MAINDIALOG): 102 product paragraph, 101 destination folder, 1 Install,
// 2 Abort, 100 Browse, 103 about line and, during the extraction, the file being written.
#define IDC_PRODUCT_TEXT 102
#define IDC_DESTINATION 101
#define IDC_INSTALL 1
#define IDC_ABORT 2
#define IDC_BROWSE 100
#define IDC_STATUS 103

// Setup dialog (SETUPDIALOG): 102 request text, 1 OK, 101 interface list.
#define IDC_SETUP_TEXT 102
#define IDC_SETUP_OK 1
#define IDC_INTERFACES 101

// Strings, by their Czech ids (Slovak id + 1000, English id + 2000).
#define IDS_TITLE 101
#define IDS_PRODUCT 102
#define IDS_INSTALL 103
#define IDS_ABORT 104
#define IDS_BROWSE 105
#define IDS_CANNOT_OPEN 201
#define IDS_CANNOT_CLOSE 202
#define IDS_CANNOT_CREATE_DIR 203
#define IDS_ARCHIVE_ERROR 204
#define IDS_ARCHIVE_READ_ERROR 205
#define IDS_INVALID_ARCHIVE 206
#define IDS_DIRECTORY_ERROR 207
#define IDS_EXTRACTION_ERROR 208
#define IDS_UNKNOWN_METHOD 209
#define IDS_CANNOT_CLOSE_FILE 210
#define IDS_CANNOT_OPEN_FILE 211
#define IDS_SELECT_FOLDER 212
#define IDS_ABORTED 213
#define IDS_NO_SPACE 214       // the drive lacks room: needed and free KiB fill its two %lu
#define IDS_SETUP_TITLE 301
#define IDS_SETUP_REQUEST 302
#define IDS_SETUP_REMINDER 303

#endif
