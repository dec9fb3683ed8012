// The subcommands of varnel-cli, one source file each. Every command takes
// the arguments after its own name and returns the process exit status.
#pragma once

#include <string>

int grid_command(int argc, char** argv);
int decode_command(int argc, char** argv);
int texture_command(int argc, char** argv);
int settings_command(int argc, char** argv);
int render_command(int argc, char** argv);
int sql_command(int argc, char** argv);

// Each command's --help: its usage, then its options with their words,
// limits and defaults, as its table declares them.
std::string grid_help();
std::string decode_help();
std::string texture_help();
std::string settings_help();
std::string render_help();
std::string sql_help();

// Each command's usage, as a usage error prints it and --help begins; the
// list of commands shows them all.
inline constexpr char kGridUsage[] =
    "usage: varnel-cli grid DATA [--range XMIN XMAX YMIN YMAX | --range auto] [--skip N] [--columns X Y] [-o OUT]\n"
    "                       [--weight COL] [--mean COL] [--log-x] [--log-y]\n"
    "                       [--threads N] [--binning bilinear|classic] [--sums]\n"
    "--range defaults to 0 4000 0 4000, --skip to 0 lines, --columns to 1 2, --threads to 0 (one per\n"
    "core; at most 4 per core are used, whatever N asks), --binning to bilinear; without -o the grid goes\n"
    "to standard output.\n";
inline constexpr char kDecodeUsage[] = "usage: varnel-cli decode IMAGE [--pixels OUT] [--palette OUT]\n";
inline constexpr char kTextureUsage[] = "usage: varnel-cli texture IMAGE [--dump DIR]\n";
inline constexpr char kSettingsUsage[] = "usage: varnel-cli settings [--reset]\n";
inline constexpr char kRenderUsage[] =
    "usage: varnel-cli render DATA -o OUT.png [--range XMIN XMAX YMIN YMAX] [--camera RADIUS AZIMUTH ELEVATION]\n"
    "                         [--size WIDTHxHEIGHT] [--texture IMAGE] [--marker X Y] [--frames N] [--time]\n"
    "                         [--columns X Y] [--range auto] [--colormap grey|viridis|magma|cividis|turbo]\n"
    "                         [--smooth 0|1|2|4|8|16|auto] [--log] [--texture-only] [--no-axes] [--threads N]\n"
    "                         [--binning bilinear|classic] [--xlabel TEXT] [--ylabel TEXT] [--fit] [--map]\n"
    "                         [--weight COL] [--mean COL] [--log-x] [--log-y] [--aspect square|equal] [--peak]\n"
    "--camera: RADIUS a distance step 0 to 300 (nearest to farthest, 0.04 of the surface's width each),\n"
    "AZIMUTH and ELEVATION in degrees (elevation 0 to 90); default 100 0 90, straight down.\n"
    "--fit sets the distance that shows the whole surface, its labels and the scale for those angles.\n"
    "--map draws the field straight down as a flat map on a square, axes on its four edges (no camera).\n"
    "--mean, and --weight where a sum falls below zero, are drawn from the least value to the greatest,\n"
    "without --log or --smooth.\n"
    "--size defaults to 640x480, --range to 0 4000 0 4000, --smooth to 0 (a Gaussian's sigma in\n"
    "cells; auto: Scott's rule from the points in range), --threads to 0 (one per core).\n"
    "OUT's extension picks the format: .png, .jpg, .jpeg, .bmp or .ppm (none: PNG).\n";
inline constexpr char kSqlUsage[] =
    "usage: varnel-cli sql --table T --x COL --y COL [--range XMIN XMAX YMIN YMAX] [--dialect standard|clickhouse]\n"
    "                      [--binning bilinear|classic] [--weight COL] [--mean COL] [--log-x] [--log-y]\n"
    "--range defaults to 0 4000 0 4000, --dialect to standard, --binning to bilinear. Open the saved result\n"
    "with the --binning, --log-x and --log-y the query was made with.\n";
