/* Resource, command and control identifiers shared by the program and the language modules.
   Plain #defines only: the resource compiler's preprocessor reads this file as well as C++. */
#ifndef TAVISK_LANG_RESOURCE_H
#define TAVISK_LANG_RESOURCE_H

/* Commands. Each number also names the menu item, the toolbar button and the menu-help string. */
#define CMD_NEW 200
/* New from a folder and New from a disc image: the other two ways to add a disc. */
#define CMD_NEW_FOLDER 201
#define CMD_NEW_IMAGE 202
#define CMD_QUIT 270
#define CMD_NEXT_PANE 410
#define CMD_PREV_PANE 420
#define CMD_CONNECTION 475
#define CMD_ABOUT 500
#define CMD_HELP 510
#define CMD_SEARCH 700
#define CMD_DELETE 750
#define CMD_UPDATE 751
/* The content fingerprints: the duplicates, the files of this computer on the discs, the
   verification of a disc, and the options of indexing. */
#define CMD_DUPLICATES 760
#define CMD_FIND_ON_DISCS 761
#define CMD_VERIFY 762
#define CMD_INDEXING_OPTIONS 476

/* Strings. The menu-help string of a command carries the command's own number. */
#define IDS_PRODUCT_NAME 1
#define IDS_MYSQL_ERROR 2
#define IDS_CANNOT_SELECT_BASE 6
#define IDS_CANNOT_CONNECT_PORT 7
#define IDS_PROGRAM_TOO_OLD 8
#define IDS_PROGRAM_UPDATE_REQUIRED 10
#define IDS_ASK_UPGRADE_DATABASE 11
#define IDS_DATABASE_UPGRADE 13
#define IDS_ASK_KEEP_UNUSABLE_SETTINGS 16
#define IDS_CONNECTION_FAILURE 18
#define IDS_ASK_CREATE_DATABASE 19
#define IDS_DATABASE_CREATION 20
#define IDS_ASK_KEEP_UNINITIALISED_SETTINGS 21
#define IDS_DATABASE_CREATION_FAILURE 23
#define IDS_ASK_KEEP_UNCONNECTABLE_SETTINGS 24
#define IDS_DRIVE_UNDETERMINED 31
#define IDS_DRIVE_NO_ROOT 32
#define IDS_DRIVE_REMOVABLE 33
#define IDS_DRIVE_FIXED 34
#define IDS_DRIVE_REMOTE 35
#define IDS_ASK_ADD_DISC 36
#define IDS_DISC_READING 37
#define IDS_WRITE_DISC_NUMBER 38
#define IDS_DISC_IDENTIFICATION 39
#define IDS_ASK_UPDATE_DISC 40
#define IDS_NO_DISC_IN_DRIVE 42
#define IDS_DRIVE_RAM 43
#define IDS_ASK_DELETE_DISC 44
#define IDS_CONFIRM_DELETE_DISC 45
#define IDS_DISC_DELETING 46
#define IDS_NEW_DISC 50
#define IDS_CONNECTED 51
#define IDS_NO_DISC_LIST 52
#define IDS_NO_DIRECTORY_LIST 53
#define IDS_NO_FILE_LIST 54
#define IDS_TYPE_FILE 56
#define IDS_TYPE_DIRECTORY 57
#define IDS_TYPE_ARCHIVE 58
#define IDS_HIT_PLACE 59
#define IDS_DIRECTORY_OR_ARCHIVE 60
#define IDS_DIRECTORY_FOUND 61
#define IDS_FILE_HIT 62
/* Toolbar labels, in button order (the images of IDB_TOOLBAR in the same order). */
#define IDS_TB_NEW 63
#define IDS_TB_UPDATE 64
#define IDS_TB_DELETE 65
#define IDS_TB_SEARCH 66
#define IDS_TB_CONFIGURE 67
#define IDS_TB_HELP 68
#define IDS_READY 69
#define IDS_HELP_FILE 70
#define IDS_UNKNOWN_VERSION 71
#define IDS_UNKNOWN_VERSION_CAPTION 72
/* Other sources of a disc: folders and disc images, where each disc came from, and the check
   that Update reads the same disc again. */
#define IDS_ANOTHER_DISC 80
#define IDS_ASK_REPLACE_ANOTHER_DISC 81
#define IDS_ASK_UPDATE_FROM_SOURCE 82
#define IDS_CHOOSE_FOLDER 83
#define IDS_CHOOSE_IMAGE 84
#define IDS_IMAGE_FILTER 85
#define IDS_DISC_IMAGE 86
#define IDS_NOT_AN_IMAGE 87
#define IDS_DAMAGED_IMAGE 88
/* Indexing: the count of dialog 550, the end of an indexing and what it left out, an indexing
   stopped, and the questions of Update and New about the discs the directory holds already. */
#define IDS_ENTRIES_READ 3000
#define IDS_ENTRIES_STORED 3001
#define IDS_FOLDER_ADDED 3002
#define IDS_IMAGE_ADDED 3003
#define IDS_DISC_ADDED 3004
#define IDS_INDEXING_STOPPED 3005
#define IDS_UPDATE_STOPPED 3006
#define IDS_INCOMPLETE_DISC 3007
#define IDS_LEFT_OUT 3008
#define IDS_ARCHIVE_CUT_SHORT 3009
#define IDS_FOLDER_NOT_OPENED 3010
#define IDS_AND_MORE 3011
/* The limits of the archive library, in the order of their codes (TVK_LIMIT_RATIO first). */
#define IDS_LIMIT_RATIO 3012
#define IDS_LIMIT_BYTES 3013
#define IDS_LIMIT_DISC_BYTES 3014
#define IDS_LIMIT_ENTRIES 3015
#define IDS_LIMIT_NESTING 3016
#define IDS_LIMIT_SPOOL 3017
#define IDS_SOURCE_ON_OTHER_HOST 3020
#define IDS_SOURCE_GONE 3021
#define IDS_SOURCE_OTHER_VOLUME 3022
#define IDS_ASK_CHOOSE_FOLDER 3023
#define IDS_ASK_CHOOSE_IMAGE 3024
#define IDS_CHOOSE_UPDATE_FOLDER 3025
#define IDS_CHOOSE_UPDATE_IMAGE 3026
#define IDS_ASK_REPLACE_WITH_NOTHING 3027
#define IDS_NOTHING_TO_READ 3028
#define IDS_ASK_REPLACE_FROM_ANOTHER 3029
#define IDS_ASK_ALREADY_CATALOGUED 3030
#define IDS_ALREADY_CATALOGUED 3031
/* The end of a search in the status bar: the hits listed, none, or the hits so far after Stop. */
#define IDS_SEARCH_FOUND 3200
#define IDS_SEARCH_NOTHING_FOUND 3201
#define IDS_SEARCH_STOPPED 3202
/* The windows of the content fingerprints, and the indexing options. */
#define IDS_FP_HOLDER 4500
#define IDS_FP_DUPLICATES_TITLE 4501
#define IDS_FP_DUPLICATE_GROUP 4502
#define IDS_FP_BY_NAME_AND_SIZE 4503
#define IDS_FP_NO_DUPLICATES 4504
#define IDS_FP_DUPLICATES_FOUND 4505
#define IDS_FP_FIND_TITLE 4510
#define IDS_FP_FIND_PROMPT 4511
#define IDS_FP_FIND_FILE 4512
#define IDS_FP_FIND_FOLDER 4513
#define IDS_FP_CHOOSE_FILE 4514
#define IDS_FP_CHOOSE_FOLDER 4515
#define IDS_FP_ON_NO_DISC 4516
#define IDS_FP_UNREADABLE 4517
#define IDS_FP_FOLDER_NOT_READ 4518
#define IDS_FP_FILES_ON_DISCS 4519
#define IDS_FP_VERIFY_TITLE 4530
/* The words of a verification's report, in this order: unchanged, changed, unreadable,
   missing, new. */
#define IDS_FP_VERIFY_UNCHANGED 4531
#define IDS_FP_VERIFY_CHANGED 4532
#define IDS_FP_VERIFY_UNREADABLE 4533
#define IDS_FP_VERIFY_MISSING 4534
#define IDS_FP_VERIFY_NEW 4535
#define IDS_FP_VERIFY_SUMMARY 4536
#define IDS_FP_VERIFY_SAVE 4537
#define IDS_FP_VERIFY_SAVE_TITLE 4538
#define IDS_FP_CANNOT_SAVE 4539
#define IDS_FP_VERIFY_CHOOSE_FOLDER 4540
#define IDS_FP_VERIFY_CHOOSE_IMAGE 4541
#define IDS_OPTIONS_TITLE 4550
#define IDS_OPTIONS_ABOUT 4551
#define IDS_OPTIONS_FOLDERS 4552
#define IDS_OPTIONS_IMAGES 4553
/* tavisk-cli's commands of the content fingerprints: column titles and words. */
#define IDS_CLI_COL_GROUP 4100
#define IDS_CLI_COL_COPIES 4101
#define IDS_CLI_COL_WASTED 4102
#define IDS_CLI_COL_MATCH 4103
#define IDS_CLI_MATCH_CONTENTS 4104
#define IDS_CLI_MATCH_NAME 4105
#define IDS_CLI_COL_FILE 4106
#define IDS_CLI_COL_STATE 4107
#define IDS_CLI_ON_DISC 4108
#define IDS_CLI_UNREADABLE 4109
/* Fingerprints while indexing: a file left without one, and the count of dialog 550. */
#define IDS_FILE_NOT_READ 4560
#define IDS_ENTRIES_BYTES_READ 4561
/* tavisk-cli: its messages, its question, its progress line and the titles of its columns. */
#define IDS_CLI_CANNOT_CONNECT 4000
#define IDS_CLI_CATALOGUE_REFUSED 4001
#define IDS_CLI_NO_DATABASE 4002
#define IDS_CLI_PASSWORD_PROMPT 4003
#define IDS_CLI_NO_DISC 4004
#define IDS_CLI_SOURCE_UNREADABLE 4005
#define IDS_CLI_WRONG_DISC 4006
#define IDS_CLI_WOULD_EMPTY 4007
#define IDS_CLI_NO_RECORDED_SOURCE 4008
#define IDS_CLI_ASK_DELETE 4009
#define IDS_CLI_DELETE_NEEDS_YES 4010
#define IDS_CLI_DISC_DELETED 4011
#define IDS_CLI_DISC_UPDATED 4012
#define IDS_CLI_ADD_STOPPED 4013
#define IDS_CLI_NO_SUCH_PATH 4014
#define IDS_CLI_BAD_SIZE 4015
#define IDS_CLI_BAD_DATE 4016
#define IDS_CLI_PROGRESS 4017
#define IDS_CLI_ALREADY_CATALOGUED 4018
#define IDS_CLI_EXPORT_NEEDS_DISC 4019
#define IDS_CLI_INTERRUPTED 4020
#define IDS_CLI_BAD_DISC 4021
#define IDS_CLI_OPEN_IN_WINDOW 4022
#define IDS_CLI_COL_DISC 4030
#define IDS_CLI_COL_NAME 4031
#define IDS_CLI_COL_ENTRIES 4032
#define IDS_CLI_COL_BYTES 4033
#define IDS_CLI_COL_SOURCE 4034
#define IDS_CLI_COL_READ_AT 4035
#define IDS_CLI_COL_TYPE 4036
#define IDS_CLI_COL_SIZE 4037
#define IDS_CLI_COL_DATE 4038
#define IDS_CLI_COL_PATH 4039
/* Menu help of the popups File, Configuration, Help and of the system menu. */
#define IDS_MENU_FILE 2000
#define IDS_MENU_CONFIGURATION 2001
#define IDS_MENU_HELP 2010
#define IDS_SYSTEM_MENU 2030
/* File list column titles. */
#define IDS_COL_NAME 2011
#define IDS_COL_SIZE 2012
#define IDS_COL_TYPE 2013
#define IDS_COL_DATE 2014

/* Dialogs. */
#define IDD_ABOUT 100
#define IDD_UPGRADE 280
#define IDD_SEARCH 300
#define IDD_CONNECTION 480
#define IDD_INDEXING 550

/* Menus and accelerators. */
#define IDM_MAIN 600
#define IDM_CONTEXT 1000
#define IDA_MAIN 10000

/* Bitmaps: 16x16 tree images and the 96x16 toolbar strip; magenta is transparent. */
#define IDB_DISC 103
#define IDB_TOOLBAR 106
#define IDB_FOLDER_SELECTED 107
#define IDB_FOLDER 108
#define IDB_ARCHIVE_SELECTED 111
#define IDB_ARCHIVE 112

/* Icon groups. */
#define IDI_APP 102
#define IDI_ARCHIVE 104
#define IDI_SEARCH 113
#define IDI_FOLDER 120
#define IDI_FILE 121

/* Controls of dialog 100 (About). */
#define IDC_ABOUT_CLOSE 101

/* Controls of dialog 300 (search); its Close button is command 2. */
#define IDC_SEARCH_DATE 301
#define IDC_SEARCH_STOP 302
#define IDC_SEARCH_NAME_LABEL 303
#define IDC_SEARCH_NAME 304
#define IDC_SEARCH_BETWEEN 305
#define IDC_SEARCH_FROM 306
#define IDC_SEARCH_AND 307
#define IDC_SEARCH_TO 308
#define IDC_SEARCH_START 309
#define IDC_SEARCH_WORDS 313
#define IDC_SEARCH_LIMIT 316

/* Controls of dialog 480 (connection parameters); OK and Cancel are commands 1 and 2. */
#define IDC_CONNECTION_PROMPT 402
#define IDC_HOST_LABEL 403
#define IDC_PORT_LABEL 404
#define IDC_BASE_LABEL 405
#define IDC_ACCOUNT_LABEL 406
#define IDC_PASSWORD_LABEL 407
#define IDC_HOST 481
#define IDC_PORT 482
#define IDC_BASE 483
#define IDC_ACCOUNT 484
#define IDC_PASSWORD 485

/* Controls of dialog 550 (indexing progress). */
#define IDC_PROGRESS 551
#define IDC_WAIT_TEXT 552
/* The count of entries read; the Cancel button is command 2. */
#define IDC_INDEXING_COUNT 553

/* The one-shot timer that starts the work of dialogs 280 and 550 once they are shown. */
#define UPGRADE_TIMER_ID 281
#define INDEXING_TIMER_ID 281

#endif
