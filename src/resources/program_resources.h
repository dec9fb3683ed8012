// The program module's resources: the two dialog templates, the accelerator
// table of the camera keys and the icon, as the shell hands them to the
// window system at start.
#pragma once

#include "platform/win32/dialog_template.h"
#include "platform/win32/winuser.h"
#include "resources/resource_ids.h"

extern const DialogTemplate kMainTemplate;       // dialog 102
extern const DialogItemTemplate kPanelItems[36]; // its items, in template order
extern const DialogTemplate kPanelTemplate;      // dialog 103
extern const DialogTemplate kProgressTemplate;   // the progress of a long load, made from here only
extern const DialogTemplate kColumnsTemplate;    // the columns of a data file, made from here only
extern const DialogTemplate kDatabaseTemplate;   // the address of a table in a database
extern const ACCEL kCameraKeys[10];              // "VARNEL_ACCELERATOR"

// Every resource above plus icon 101, for SetModuleResources.
extern const RESOURCE_ENTRY kProgramResources[4];
