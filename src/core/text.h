#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The program's text: Unicode in UTF-16 code units, the unit both desktop
// toolkits use and the one that positions in a text count.
using Text = std::u16string;
using TextView = std::u16string_view;

// The wire and the files speak UTF-8; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(TextView text);
// Invalid sequences become U+FFFD.
Text FromUtf8(std::string_view utf8);

// Decimal digits of a number, without blanks.
Text DecimalText(long long number);
