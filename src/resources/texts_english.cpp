// The program's texts in English.
#include "resources/texts.h"

// clang-format off
constexpr TextRow kEnglishTexts[kTextCount] = {
    {TextId::program_title, "Varnel"},
    {TextId::title_format, "Varnel : %.*s"},
    {TextId::startup_error_caption, "Error"},
    {TextId::no_memory, "Memory could not be allocated.\nCheck whether another application is using an extreme amount of memory."},
    {TextId::no_panel, "The control panel could not be created.\nCheck that the system has enough window resources."},
    {TextId::no_direct3d, "Direct3D could not be initialised.\nSending your graphics card and driver details to the author may get this fixed."},
    {TextId::data_error_caption, "Error"},
    {TextId::cannot_open, "The selected file could not be opened.\nCheck that no other program has it open."},
    {TextId::not_a_regular_file, "Not a regular file"},
    {TextId::path_too_long, "The file's path is too long to open.\nKeep paths to 1023 bytes."},
    {TextId::no_field, "The plot data could not be created.\nMemory may be short."},
    {TextId::save_picture_item, "Save picture..."},
    {TextId::save_dialog_title, "Save picture"},
    {TextId::colour_map_menu, "Colour map"},
    {TextId::grey_map_item, "Grey"},
    {TextId::smoothing_menu, "Smoothing"},
    {TextId::no_smoothing_item, "None"},
    {TextId::log_scale_item, "Log scale"},
    {TextId::texture_only_item, "Texture only"},
    {TextId::show_axes_item, "Show axes and scale"},
    {TextId::cannot_save_format, "The picture file \"%s\" could not be written.\nCheck that the folder is writable and has enough free space."},
    {TextId::data_dialog_title, "Choose a data file"},
    {TextId::texture_dialog_title, "Choose a texture file"},
    {TextId::data_filter, "All files\0*.*\0"},
    {TextId::texture_filter, "Image files\0*.bmp;*.dib;*.png;*.jpg;*.jpeg;*.tga;*.dds;*.ppm;*.pgm;*.pnm;*.hdr;*.pfm\0All files\0*.*\0"},
    {TextId::panel_plot_data, "Plot data"},
    {TextId::panel_load, "Load"},
    {TextId::panel_texture, "Texture"},
    {TextId::panel_clear, "Clear"},
    {TextId::panel_marker, "Marker"},
    {TextId::panel_set, "Set"},
    {TextId::panel_camera, "Camera"},
    {TextId::panel_distance, "Dist."},
    {TextId::panel_azimuth, "Azim."},
    {TextId::panel_elevation, "Elev."},
};
// clang-format on
static_assert(rows_follow_the_ids(kEnglishTexts));
