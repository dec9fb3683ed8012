// The subcommands of varnel-cli, one source file each. Every command takes
// the arguments after its own name and returns the process exit status.
#pragma once

int grid_command(int argc, char** argv);
int decode_command(int argc, char** argv);
int texture_command(int argc, char** argv);
int settings_command(int argc, char** argv);
int render_command(int argc, char** argv);
