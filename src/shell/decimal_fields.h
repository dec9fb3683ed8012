// The panel's decimal fields: the plot range and the marker. They take any
// finite number (unix seconds and populations pass a billion), decimals and
// a sign included, so the
// up-down beside each one leaves the text to the shell, which steps it by a
// round amount suited to the plot range.
#pragma once

#include <string>

#include "platform/win32/windef.h"

// A field's text as a number: optional white space and sign, digits with
// an optional point and exponent, nothing else; finite.
bool parse_field_number(const char* text, double* value);

// The whole text of the field of the up-down `spin`.
std::string decimal_field_text(HWND panel, int spin);
// The number in the field of the up-down `spin`; false for text that is
// no such number.
bool read_decimal_field(HWND panel, int spin, double* value);
// The value's shortest text into that field.
void show_decimal_field(HWND panel, int spin, double value);
// The name the user knows the field of `spin` by, for messages; null for
// a spin that has no decimal field.
const char* decimal_field_name(int spin);

// One step of the arrows beside a field, `steps` times (negative: down):
// the step suits the span of the field's axis in the plot range. A field
// whose text is no number is left for the user to correct.
void step_decimal_field(HWND panel, int spin, int steps);

// The decimal fields take a sign and a point, and their up-downs no longer
// write integers into them; once, as the panel starts.
void make_fields_decimal(HWND panel);
