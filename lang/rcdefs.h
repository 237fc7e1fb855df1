/* The Windows constants that the resource scripts use, with their Windows values. The
   scripts are compiled on a host whose preprocessor cannot read the Windows headers, so
   this file stands in for them. Resource scripts only: the program does not include it. */
#ifndef TAVISK_LANG_RCDEFS_H
#define TAVISK_LANG_RCDEFS_H

/* Window styles. */
#define WS_POPUP 0x80000000
#define WS_CHILD 0x40000000
#define WS_VISIBLE 0x10000000
#define WS_DISABLED 0x08000000
#define WS_CAPTION 0x00C00000
#define WS_BORDER 0x00800000
#define WS_SYSMENU 0x00080000
#define WS_GROUP 0x00020000
#define WS_TABSTOP 0x00010000

/* Dialog styles. */
#define DS_SETFONT 0x40
#define DS_MODALFRAME 0x80

/* Control styles. */
#define ES_LEFT 0x0000
#define ES_PASSWORD 0x0020
#define ES_AUTOHSCROLL 0x0080
#define ES_NUMBER 0x2000
#define BS_PUSHBUTTON 0x0
#define BS_DEFPUSHBUTTON 0x1
#define BS_AUTOCHECKBOX 0x3
#define SS_LEFT 0x0

/* Window classes of the standard dialog controls, stored as ordinals in dialog templates
   (the form the Windows resource compiler gives "Button", "Edit" and "Static"). */
#define CLASS_BUTTON 0x80
#define CLASS_EDIT 0x81
#define CLASS_STATIC 0x82

/* Standard dialog commands and the identifier of static texts that have none. */
#define IDOK 1
#define IDCANCEL 2
#define IDC_STATIC (-1)

/* Virtual keys. */
#define VK_TAB 0x09
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_F5 0x74
#define VK_F1 0x70

/* Languages. */
#define LANG_ENGLISH 0x09
#define LANG_FRENCH 0x0C
#define SUBLANG_ENGLISH_US 0x01
#define SUBLANG_FRENCH 0x01

/* Version block. */
#define VS_VERSION_INFO 1
#define VS_FFI_FILEFLAGSMASK 0x3F
#define VOS__WINDOWS32 0x4
#define VFT_DLL 0x2
#define VFT2_UNKNOWN 0x0

#endif
