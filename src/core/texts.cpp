#include "texts.h"

namespace texts {
namespace {
constexpr TextView kCrLf = u"\r\n";
constexpr TextView kConfirmationHead = u"Sending fax to: ";
constexpr TextView kRecipientLine = u"-> Fax recipient: ";
constexpr TextView kNumberLine = u"-> Fax number: ";
constexpr TextView kQuestion = u"Are you certain these details are correct?";

Text Join(std::initializer_list<TextView> pieces)
{
    Text joined;
    for (TextView piece : pieces)
        joined += piece;
    return joined;
}
} // namespace

Text BindError(int port)
{
    return Join({u"Some other program may be binding port ", DecimalText(port), u".", kCrLf,
                 u"Please clear this port and try again."});
}

Text TypedNumberConfirmation(TextView number)
{
    return Join({kConfirmationHead, kCrLf, kNumberLine, number, kCrLf, kCrLf, kQuestion});
}

Text ContactConfirmation(TextView recipient, TextView number)
{
    return Join({kConfirmationHead, kCrLf, kRecipientLine, recipient, kCrLf, kNumberLine, number, kCrLf, kCrLf,
                 kQuestion});
}
} // namespace texts
