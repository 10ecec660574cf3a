#pragma once

#include "vcard_files.h"

#include <map>

namespace vcard {

// The cards in address book order, numbered from 1, each with the file it
// came from and its place there.
class Listing {
public:
    struct Entry {
        const ParsedCard *card;
        QByteArray file;
        size_t ordinal;
    };

    Listing() = default;
    explicit Listing(const std::map<QByteArray, CardFile> &files);

    int32_t Count() const { return int32_t(m_cards.size()); }
    // Cards were left out for the address book's cap.
    bool Cut() const { return m_cut; }

    const Entry *At(int32_t position) const
    {
        return position >= 1 && position <= Count() ? &m_cards[size_t(position - 1)] : nullptr;
    }

private:
    std::vector<CardList> m_files; // keeps the cards alive
    std::vector<Entry> m_cards;
    bool m_cut = false;
};

// The listed card as its file holds it now: at its old place if it is still
// the same contact there, else the first card of that contact in the file.
const ParsedCard *FindAgain(const std::vector<ParsedCard> &cards, const Listing::Entry &listed);

} // namespace vcard
