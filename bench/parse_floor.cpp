// The floor for a first listing: the vCard library alone reading the same
// cards (name, company, telephone numbers), one thread, no program around it.
// Prints "floor_evcard_ms,VALUE" and "floor_econtact_ms,VALUE" per repeat.
#include <libebook-contacts/libebook-contacts.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The library reads one card per string; a many-card file is cut at BEGIN.
std::vector<std::string> SplitCards(const std::string &text)
{
    std::vector<std::string> cards;
    size_t start = text.find("BEGIN:VCARD");
    while (start != std::string::npos) {
        const size_t next = text.find("BEGIN:VCARD", start + 11);
        cards.push_back(text.substr(start, next == std::string::npos ? std::string::npos : next - start));
        start = next;
    }
    return cards;
}

struct Totals {
    size_t cards = 0, named = 0, faxes = 0;
};

void ReadAttributes(EVCard *vcard, Totals &totals)
{
    for (GList *node = e_vcard_get_attributes(vcard); node; node = node->next) {
        auto *attribute = static_cast<EVCardAttribute *>(node->data);
        const char *name = e_vcard_attribute_get_name(attribute);
        if (g_ascii_strcasecmp(name, "N") == 0 || g_ascii_strcasecmp(name, "ORG") == 0) {
            totals.named += e_vcard_attribute_get_values(attribute) != nullptr;
        } else if (g_ascii_strcasecmp(name, "TEL") == 0) {
            totals.faxes += e_vcard_attribute_has_type(attribute, "FAX") && e_vcard_attribute_get_values(attribute);
        }
    }
}

// e_vcard_new_from_string and a walk over the attributes: what the program does.
Totals ParseEVCard(const std::vector<std::string> &cards)
{
    Totals totals;
    for (const std::string &card : cards) {
        EVCard *vcard = e_vcard_new_from_string(card.c_str());
        ReadAttributes(vcard, totals);
        ++totals.cards;
        g_object_unref(vcard);
    }
    return totals;
}

// e_contact_new_from_vcard and its typed getters: the library's contact API.
Totals ParseEContact(const std::vector<std::string> &cards)
{
    Totals totals;
    for (const std::string &card : cards) {
        EContact *contact = e_contact_new_from_vcard(card.c_str());
        auto *name = static_cast<EContactName *>(e_contact_get(contact, E_CONTACT_NAME));
        auto *org = static_cast<char *>(e_contact_get(contact, E_CONTACT_ORG));
        totals.named += name != nullptr || org != nullptr;
        for (EContactField field : {E_CONTACT_PHONE_BUSINESS_FAX, E_CONTACT_PHONE_HOME_FAX, E_CONTACT_PHONE_OTHER_FAX}) {
            auto *fax = static_cast<char *>(e_contact_get(contact, field));
            totals.faxes += fax != nullptr;
            g_free(fax);
        }
        e_contact_name_free(name);
        g_free(org);
        ++totals.cards;
        g_object_unref(contact);
    }
    return totals;
}

double Ms(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER|FILE.vcf [REPEATS]\n", argv[0]);
        return 2;
    }
    const fs::path source = argv[1];
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
    for (int repeat = 0; repeat < repeats; ++repeat) {
        for (int api = 0; api < 2; ++api) {
            // Reading the files belongs to the floor too: the program reads them.
            const auto start = std::chrono::steady_clock::now();
            std::vector<std::string> cards;
            if (fs::is_directory(source)) {
                std::vector<fs::path> files;
                for (const auto &entry : fs::directory_iterator(source))
                    if (entry.path().extension() == ".vcf")
                        files.push_back(entry.path());
                cards.reserve(files.size());
                for (const fs::path &file : files)
                    cards.push_back(ReadFile(file));
            } else {
                cards = SplitCards(ReadFile(source));
            }
            const Totals totals = api == 0 ? ParseEVCard(cards) : ParseEContact(cards);
            const double ms = Ms(std::chrono::steady_clock::now() - start);
            std::printf("%s,%.3f\n", api == 0 ? "floor_evcard_ms" : "floor_econtact_ms", ms);
            if (repeat == 0)
                std::fprintf(stderr, "%s: %zu cards, %zu names, %zu faxes\n", api == 0 ? "evcard" : "econtact",
                             totals.cards, totals.named, totals.faxes);
        }
    }
    return 0;
}
