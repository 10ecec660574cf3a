#pragma once

#include "text.h"

#include <functional>
#include <string>
#include <vector>

// The fax number as sent: only the ASCII digits of the source, in their order.
// Any length is filtered in full.
Text DigitsOnly(TextView source);

// The number part of a combo entry such as "Home fax: 012 345": everything
// after the first ": ", or the entry without its first character when there
// is none.
Text NumberPartOfEntry(TextView entry);

// How a contact is listed: "Last, First", or "Company - (Last, First)".
Text DisplayText(TextView lastName, TextView firstName, TextView companyName);

// The combo entries offered for a contact, in the order business, home,
// other, each only for a non-empty number.
std::vector<Text> FaxEntries(TextView business, TextView home, TextView other);

// How the recipient's line of the reply becomes bytes.
using LineEncoder = std::function<std::string(TextView)>;

// The four CR LF-ended lines written to the fax server. Line 3 is one blank
// for a typed number and the recipient for a chosen contact; control
// characters in it become blanks so that it stays one line, and it is written
// by `encode`. Everything else is ASCII.
std::string TypedNumberReply(TextView number);
std::string ContactReply(TextView number, TextView recipient, const LineEncoder &encode = &ToUtf8);

// The tab pages, by index.
enum DialogPage : int { TypedNumberPage = 0, AddressBookPage = 1, AboutPage = 2 };

// Whether "Send this fax" can be pressed once the tab has changed to the page.
// On the address-book page only a contact with all three fax numbers counts.
bool SendEnabledForPage(int page, TextView typedNumber, TextView businessFax, TextView homeFax, TextView otherFax);
// Whether "Send this fax" can be pressed after the typed number changed.
bool SendEnabledForTypedNumber(TextView typedNumber);
