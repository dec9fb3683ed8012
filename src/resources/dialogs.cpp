// The dialog templates (main window, panel, load progress), the
// accelerator table and the module's resource table.
#include <iterator>

#include "platform/win32/commctrl.h"
#include "resources/program_resources.h"
#include "resources/texts.h"

// The icon file, embedded at build time (icon_data.cpp).
extern const unsigned char kIconFile[];
extern const unsigned kIconFileSize;

namespace {

constexpr DWORD kEdit = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL | ES_RIGHT;
constexpr DWORD kCameraEdit = kEdit | ES_READONLY;
constexpr DWORD kSpin = WS_CHILD | WS_VISIBLE | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS;
constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFT | WS_GROUP;
constexpr DWORD kGroup = WS_CHILD | WS_VISIBLE | BS_GROUPBOX;
constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr char kFont[] = "ＭＳ Ｐゴシック";

const DialogItemTemplate kMainItems[] = {
    {WS_CHILD | WS_VISIBLE | SS_BLACKRECT, 0, 7, 7, 255, 286, IDC_RENDER_AREA, "Static", 0, ""},
};

} // namespace

const DialogTemplate kMainTemplate = {
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_SETFONT,
    0,
    0,
    0,
    400,
    352,
    kFont,
    9,
    "Varnel",
    kMainItems,
    1,
};

// Template order is also the tab order: every spin control follows the
// field it takes as its buddy. The captions are in the user's language,
// so the labels are wide enough for either.
const DialogItemTemplate kPanelItems[36] = {
    {kGroup, 0, 7, 7, 91, 112, IDC_STATIC, "Button", 0, text(TextId::panel_plot_data)},
    {kLabel, 0, 15, 24, 23, 8, IDC_STATIC, "Static", 0, "X[min]"},
    {kLabel, 0, 15, 43, 23, 8, IDC_STATIC, "Static", 0, "X[max]"},
    {kLabel, 0, 15, 62, 23, 8, IDC_STATIC, "Static", 0, "Y[min]"},
    {kLabel, 0, 15, 81, 23, 8, IDC_STATIC, "Static", 0, "Y[max]"},
    {kEdit, 0, 41, 22, 50, 14, IDC_X_MIN_EDIT, "Edit", 0, ""},
    {kSpin, 0, 91, 22, 10, 14, IDC_X_MIN_SPIN, UPDOWN_CLASSA, 0, "Spin1"},
    {kEdit, 0, 41, 41, 50, 14, IDC_X_MAX_EDIT, "Edit", 0, ""},
    {kSpin, 0, 91, 41, 10, 14, IDC_X_MAX_SPIN, UPDOWN_CLASSA, 0, "Spin2"},
    {kEdit, 0, 41, 60, 50, 14, IDC_Y_MIN_EDIT, "Edit", 0, ""},
    {kSpin, 0, 91, 60, 10, 14, IDC_Y_MIN_SPIN, UPDOWN_CLASSA, 0, "Spin3"},
    {kEdit, 0, 41, 79, 50, 14, IDC_Y_MAX_EDIT, "Edit", 0, ""},
    {kSpin, 0, 91, 79, 10, 14, IDC_Y_MAX_SPIN, UPDOWN_CLASSA, 0, "Spin4"},
    {kButton, 0, 36, 98, 33, 14, IDC_LOAD_DATA, "Button", 0, text(TextId::panel_load)},
    {kGroup, 0, 7, 131, 91, 36, IDC_STATIC, "Button", 0, text(TextId::panel_texture)},
    {kButton, 0, 17, 146, 33, 14, IDC_LOAD_TEXTURE, "Button", 0, text(TextId::panel_load)},
    {kButton, 0, 55, 146, 33, 14, IDC_CLEAR_TEXTURE, "Button", 0, text(TextId::panel_clear)},
    {kGroup, 0, 7, 179, 91, 74, IDC_STATIC, "Button", 0, text(TextId::panel_marker)},
    {kLabel, 0, 15, 196, 22, 8, IDC_STATIC, "Static", 0, "X"},
    {kLabel, 0, 15, 215, 22, 8, IDC_STATIC, "Static", 0, "Y"},
    {kEdit, 0, 41, 194, 50, 14, IDC_X_MARKER_EDIT, "Edit", 0, ""},
    {kSpin, 0, 91, 194, 10, 14, IDC_X_MARKER_SPIN, UPDOWN_CLASSA, 0, "Spin8"},
    {kEdit, 0, 41, 213, 50, 14, IDC_Y_MARKER_EDIT, "Edit", 0, ""},
    {kSpin, 0, 91, 213, 10, 14, IDC_Y_MARKER_SPIN, UPDOWN_CLASSA, 0, "Spin9"},
    {kButton, 0, 17, 232, 33, 14, IDC_SET_MARKER, "Button", 0, text(TextId::panel_set)},
    {kButton, 0, 55, 232, 33, 14, IDC_CLEAR_MARKER, "Button", 0, text(TextId::panel_clear)},
    {kGroup, 0, 7, 265, 91, 75, IDC_STATIC, "Button", 0, text(TextId::panel_camera)},
    {kLabel, 0, 15, 282, 24, 8, IDC_STATIC, "Static", 0, text(TextId::panel_distance)},
    {kLabel, 0, 15, 301, 24, 8, IDC_STATIC, "Static", 0, text(TextId::panel_azimuth)},
    {kLabel, 0, 15, 322, 24, 8, IDC_STATIC, "Static", 0, text(TextId::panel_elevation)},
    {kCameraEdit, 0, 41, 280, 50, 14, IDC_RADIUS_EDIT, "Edit", 0, ""},
    {kSpin, 0, 91, 280, 10, 14, IDC_RADIUS_SPIN, UPDOWN_CLASSA, 0, "Spin5"},
    {kCameraEdit, 0, 41, 299, 50, 14, IDC_AZIMUTH_EDIT, "Edit", 0, ""},
    {kSpin, 0, 91, 299, 10, 14, IDC_AZIMUTH_SPIN, UPDOWN_CLASSA, 0, "Spin6"},
    {kCameraEdit, 0, 41, 318, 50, 14, IDC_ELEVATION_EDIT, "Edit", 0, ""},
    {kSpin, 0, 91, 318, 10, 14, IDC_ELEVATION_SPIN, UPDOWN_CLASSA, 0, "Spin7"},
};

const DialogTemplate kPanelTemplate = {
    WS_CHILD | DS_SETFONT, 0, 0, 0, 105, 352, kFont, 9, nullptr, kPanelItems, 36,
};

namespace {

const DialogItemTemplate kProgressItems[] = {
    {WS_CHILD | WS_VISIBLE, 0, 7, 7, 146, 10, IDC_LOAD_PROGRESS, PROGRESS_CLASSA, 0, ""},
    {kButton, 0, 55, 24, 50, 14, IDCANCEL, "Button", 0, text(TextId::cancel_button)},
};

} // namespace

const DialogTemplate kProgressTemplate = {
    WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME | DS_CENTER | DS_SETFONT,
    0,
    0,
    0,
    160,
    45,
    kFont,
    9,
    text(TextId::loading_title),
    kProgressItems,
    std::size(kProgressItems),
};

namespace {

constexpr DWORD kList = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;

const DialogItemTemplate kColumnsItems[] = {
    {kLabel, 0, 7, 7, 186, 16, IDC_STATIC, "Static", 0, text(TextId::columns_prompt)},
    {kLabel, 0, 7, 29, 28, 8, IDC_STATIC, "Static", 0, "X"},
    {kList, 0, 38, 27, 155, 120, IDC_X_COLUMN, "ComboBox", 0, ""},
    {kLabel, 0, 7, 47, 28, 8, IDC_STATIC, "Static", 0, "Y"},
    {kList, 0, 38, 45, 155, 120, IDC_Y_COLUMN, "ComboBox", 0, ""},
    {kLabel, 0, 7, 65, 28, 8, IDC_STATIC, "Static", 0, text(TextId::height_label)},
    {kList, 0, 38, 63, 155, 120, IDC_HEIGHT_MEASURE, "ComboBox", 0, ""},
    {kButton | BS_DEFPUSHBUTTON, 0, 89, 84, 50, 14, IDOK, "Button", 0, "OK"},
    {kButton, 0, 143, 84, 50, 14, IDCANCEL, "Button", 0, text(TextId::cancel_button)},
};

const DialogItemTemplate kDatabaseItems[] = {
    {kLabel, 0, 7, 7, 306, 8, IDC_STATIC, "Static", 0, text(TextId::database_label)},
    {WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0, 7, 19, 306, 14, IDC_DATABASE_ADDRESS, "Edit",
     0, ""},
    {kLabel, 0, 7, 38, 306, 8, IDC_STATIC, "Static", 0, text(TextId::database_password_label)},
    {WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, 0, 7, 50, 150, 14,
     IDC_DATABASE_PASSWORD, "Edit", 0, ""},
    {WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 209, 71, 50, 14, IDOK, "Button", 0,
     text(TextId::open_button)},
    {kButton, 0, 263, 71, 50, 14, IDCANCEL, "Button", 0, text(TextId::cancel_button)},
};

} // namespace

const DialogTemplate kColumnsTemplate = {
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT,
    0,
    0,
    0,
    200,
    105,
    kFont,
    9,
    text(TextId::columns_title),
    kColumnsItems,
    std::size(kColumnsItems),
};

const DialogTemplate kDatabaseTemplate = {
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME | DS_CENTER | DS_SETFONT,
    0,
    0,
    0,
    320,
    92,
    kFont,
    9,
    text(TextId::database_title),
    kDatabaseItems,
    std::size(kDatabaseItems),
};

const ACCEL kCameraKeys[10] = {
    {FVIRTKEY, 'H', IDM_AZIMUTH_DOWN},
    {FVIRTKEY, 'J', IDM_ELEVATION_DOWN},
    {FVIRTKEY, 'K', IDM_ELEVATION_UP},
    {FVIRTKEY, 'L', IDM_AZIMUTH_UP},
    {FVIRTKEY, 'S', IDM_NEARER},
    {FVIRTKEY, 'X', IDM_FARTHER},
    {FVIRTKEY, 'F', IDM_FIT_CAMERA},
    {FVIRTKEY, 'P', IDM_ZOOM_TO_PEAK},
    {FVIRTKEY | FALT, VK_LEFT, IDM_RANGE_BACK},
    {FVIRTKEY | FALT | ACCEL_END_OF_TABLE, VK_RIGHT, IDM_RANGE_FORWARD},
};

const RESOURCE_ENTRY kProgramResources[4] = {
    {RT_GROUP_ICON, MAKEINTRESOURCE(IDI_VARNEL), kIconFile, kIconFileSize},
    {RT_ACCELERATOR, ACCELERATOR_TABLE_NAME, kCameraKeys, sizeof kCameraKeys},
    {RT_DIALOG, MAKEINTRESOURCE(IDD_MAIN), &kMainTemplate, sizeof kMainTemplate},
    {RT_DIALOG, MAKEINTRESOURCE(IDD_PANEL), &kPanelTemplate, sizeof kPanelTemplate},
};
