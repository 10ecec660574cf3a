#include "reply_encoding.h"

std::string AnsiOrUtf8(TextView line)
{
    return AnsiOrUtf8(line, GetACP());
}

std::string AnsiOrUtf8(TextView line, UINT codePage)
{
    // A system whose ANSI code page is UTF-8 already writes UTF-8; that page
    // takes no default character either.
    if (line.empty() || codePage == CP_UTF8)
        return ToUtf8(line);
    const std::wstring wide = Wide(line);
    BOOL lacking = FALSE;
    const int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), nullptr, 0,
                                         nullptr, &lacking);
    if (size <= 0 || lacking)
        return ToUtf8(line);
    std::string bytes(size_t(size), '\0');
    lacking = FALSE;
    const int written = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()),
                                            bytes.data(), size, nullptr, &lacking);
    if (written != size || lacking)
        return ToUtf8(line);
    return bytes;
}
