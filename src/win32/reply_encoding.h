#pragma once

#include "win32_defs.h"

// The recipient's line of the reply as fax servers' scripts on Windows
// expect it: in the system's ANSI code page, one byte per character where
// the page is single-byte, when every character of the name exists there
// (never a look-alike in its place). A name with a character the page lacks
// goes as UTF-8 instead, so that nothing of it is lost.
std::string AnsiOrUtf8(TextView line);
// The same for a given code page (tests).
std::string AnsiOrUtf8(TextView line, UINT codePage);
