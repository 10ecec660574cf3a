#include "vcard_listing.h"

namespace vcard {
namespace {

bool SameContact(const ParsedCard &a, const ParsedCard &b)
{
    const ContactItem x = a.Item();
    const ContactItem y = b.Item();
    return x.itemClass == y.itemClass && x.lastName == y.lastName && x.firstName == y.firstName
        && x.companyName == y.companyName;
}

} // namespace

Listing::Listing(const std::map<QByteArray, CardFile> &files)
{
    for (const auto &[name, file] : files) {
        m_cut |= file.cut;
        if (file.cards->empty())
            continue;
        m_files.push_back(file.cards);
        for (size_t ordinal = 0; ordinal < file.cards->size(); ++ordinal)
            m_cards.push_back({&(*file.cards)[ordinal], name, ordinal});
    }
}

const ParsedCard *FindAgain(const std::vector<ParsedCard> &cards, const Listing::Entry &listed)
{
    if (listed.ordinal < cards.size() && SameContact(cards[listed.ordinal], *listed.card))
        return &cards[listed.ordinal];
    for (const ParsedCard &card : cards) {
        if (SameContact(card, *listed.card))
            return &card;
    }
    return nullptr;
}

} // namespace vcard
