#pragma once

#include "text.h"

// Every text the user or the fax server sees, in one place. The licence shown
// on the About page is data/licence.txt.
namespace texts {
inline constexpr TextView ProgramTitle = u"Corvane Tesk";
inline constexpr TextView TrayTip = u"Corvane Tesk (fax number manager)";
inline constexpr TextView MenuFile = u"&File";
inline constexpr TextView MenuExit = u"Close Corvane Tesk (fax client)";

// Message boxes.
inline constexpr TextView ClosingNotice =
    u"Corvane Tesk is closing.  You need to restart the program in order to send faxes.";
inline constexpr TextView NoAddressBook = u"Microsoft Outlook was not detected on your PC.";
inline constexpr TextView NoAddressBookTitle = u"Outlook error";
inline constexpr TextView BindErrorTitle = u"Error binding listening port";
Text BindError(int port);
inline constexpr TextView StoreFailure = u"Error 1000: Outlook did not respond properly to a query.";
inline constexpr TextView ErrorTitle = u"Error";
inline constexpr TextView ConnectionLost = u"The connection to the fax server was lost. No fax number was sent.";
inline constexpr TextView ConfirmationTitle = u"Fax transmission!";
Text TypedNumberConfirmation(TextView number);
Text ContactConfirmation(TextView recipient, TextView number);

// Combo entries of the chosen contact's numbers: a prefix ending in ": ".
inline constexpr TextView BusinessFaxPrefix = u"Business fax: ";
inline constexpr TextView HomeFaxPrefix = u"Home fax: ";
inline constexpr TextView OtherFaxPrefix = u"Other fax: ";

// The dialog.
inline constexpr TextView WindowCaption = u"Send a fax - Corvane Tesk";
inline constexpr TextView Headline = u"Sending a fax to... ?";
inline constexpr TextView LoadingHeadline = u"Loading your Outlook contacts...";
inline constexpr TextView NotConnected = u"Not connected";
inline constexpr TextView Connected = u"Connected...";
inline constexpr TextView CancelFax = u"Cancel fax";
inline constexpr TextView SendFax = u"Send this fax";
inline constexpr TextView TypedNumberTab = u"Enter a fax number";
inline constexpr TextView AddressBookTab = u"Use Outlook address book";
inline constexpr TextView AboutTab = u"About Corvane";
inline constexpr TextView TypedNumberHint =
    u"Manually specify a fax number (including area code) in the box below.";
inline constexpr TextView BusinessFax = u"Business fax";
inline constexpr TextView HomeFax = u"Home fax";
inline constexpr TextView OtherFax = u"Other fax";
inline constexpr TextView RecipientHolder = u"lbl_recipient";
inline constexpr TextView LicenceFrame = u" Your license to use this software ";
inline constexpr TextView WebsiteFrame = u" See our website ";
inline constexpr TextView HomePage = u"http://corvane.example/fax/";
inline constexpr TextView MakerFrame = u" The Corvane Tesk developers: free software for faxing ";
inline constexpr TextView MakerLine = u"Small, dependable tools that connect your desktop to your fax server.";
inline constexpr TextView ServiceLine1 = u"Free";
inline constexpr TextView ServiceLine2 = u"Open source, MIT licence";
inline constexpr TextView ServiceLine3 = u"Bug reports and ideas are welcome.";
inline constexpr TextView ServiceLine4 = u"News and updates are on our website.";

// Lines on standard error, each followed by what went wrong where it says %s.
namespace console {
inline constexpr const char *NoAddressBook = "corvane-tesk: cannot open the address book: %s\n";
inline constexpr const char *BadFaxServerList = "corvane-tesk: the list of fax servers that may ask: %s\n";
inline constexpr const char *NoTray = "corvane-tesk: this desktop has no system tray; end the program with SIGTERM or SIGINT\n";
} // namespace console
} // namespace texts
