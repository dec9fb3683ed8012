// Text from outside the program (a file's header, a server's answer) made
// safe to print on a terminal: nothing in it can move the cursor, retitle
// the window or ring the bell.
#pragma once

#include <string>
#include <string_view>

// The text with each control byte (C0, DEL and the C1 controls' UTF-8
// bytes) and each byte of invalid UTF-8 written as \xNN; printable ASCII
// and well-formed UTF-8 stay as they are. Printing the result again gives
// the same text.
std::string printable_text(std::string_view text);
