// Why an image file was refused, as one line of text that names the format,
// the field and its value ("BMP: compression 7 is not supported"). It travels
// beside the HRESULT, which stays what callers have always seen.
#pragma once

struct DecodeReason {
    char text[256]; // empty when there is nothing to say
};
