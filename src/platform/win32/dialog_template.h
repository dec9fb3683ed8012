// Dialog templates as data. They describe a dialog the way the platform's
// DLGTEMPLATE and DLGITEMTEMPLATE do (styles, place and size in dialog
// units, font, caption, items in order), as plain structures instead of a
// packed binary block. CreateDialogIndirectParamA (and CreateDialogParamA
// through the module's RT_DIALOG resources) builds them.
//
// Texts are UTF-8, as the resource texts are Unicode on the platform.
#pragma once

#include "platform/win32/windef.h"

// The predefined class atoms an item may give instead of a class name.
#define DIALOG_CLASS_BUTTON 0x0080
#define DIALOG_CLASS_EDIT 0x0081
#define DIALOG_CLASS_STATIC 0x0082

struct DialogItemTemplate {
    DWORD style;
    DWORD ex_style;
    short x, y, cx, cy;     // dialog units, relative to the dialog's client area
    WORD id;                // 0xFFFF (-1) for items nobody asks for
    const char* class_name; // "Static", "Button", "Edit", "msctls_updown32"; or null and:
    WORD class_atom;        // DIALOG_CLASS_*
    const char* text;       // may be null
};

struct DialogTemplate {
    DWORD style;
    DWORD ex_style;
    short x, y, cx, cy;    // dialog units; cx, cy is the client area
    const char* font_name; // used with DS_SETFONT; the system's font otherwise
    WORD point_size;
    const char* caption; // may be null
    const DialogItemTemplate* items;
    WORD item_count;
};
