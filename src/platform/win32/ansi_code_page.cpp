#include "platform/win32/winnls.h"

namespace {

UINT g_code_page = CP_UTF8;

bool is_cp932_lead(BYTE b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Number of bytes of a well-formed UTF-8 sequence starting at p, or 1 when
// the bytes there form none (a stray byte is a character by itself).
int utf8_length(const unsigned char* p)
{
    unsigned char b = p[0];
    int n;
    unsigned min_second = 0x80, max_second = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0)
            min_second = 0xA0; // overlong
        if (b == 0xED)
            max_second = 0x9F; // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0)
            min_second = 0x90;
        if (b == 0xF4)
            max_second = 0x8F;
    } else {
        return 1;
    }
    // Each byte is checked before the next is looked at, so the terminator
    // stops the scan.
    if (p[1] < min_second || p[1] > max_second)
        return 1;
    for (int i = 2; i < n; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 1;
    return n;
}

} // namespace

UINT GetACP(void) { return g_code_page; }

BOOL SetProgramAnsiCodePage(UINT codepage)
{
    if (codepage != CP_UTF8 && codepage != 932)
        return FALSE;
    g_code_page = codepage;
    return TRUE;
}

BOOL IsDBCSLeadByte(BYTE byte)
{
    if (g_code_page == 932)
        return is_cp932_lead(byte);
    return byte >= 0xC2 && byte <= 0xF4;
}

LPSTR CharNextA(LPCSTR p)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(p);
    if (!s || *s == 0)
        return const_cast<LPSTR>(p);
    int n = 1;
    if (g_code_page == 932) {
        if (is_cp932_lead(s[0]) && s[1] != 0)
            n = 2;
    } else {
        n = utf8_length(s);
    }
    return const_cast<LPSTR>(p + n);
}
