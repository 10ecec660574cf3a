// Writes the benchmark address books: for each size, a folder with one .vcf
// per card and one .vcf holding all of them, with the same cards in both.
// Seeded, so every run reads the same bytes.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// splitmix64: tiny and the same on every platform, unlike std distributions.
struct Random {
    uint64_t state;
    uint64_t Next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    size_t Below(size_t n) { return size_t(Next() % n); }
    bool Chance(int percent) { return int(Below(100)) < percent; }
    template <typename T> const T &Pick(const std::vector<T> &from) { return from[Below(from.size())]; }
};

struct Script {
    std::vector<std::string> last, first, company;
    bool latin1; // every name fits Windows-1252, so a 2.1 card may use it
};

const std::vector<Script> &Scripts()
{
    static const std::vector<Script> scripts = {
        {{"Müller", "Dvořák", "García", "Núñez", "Łukasiewicz", "Ångström", "Ó Briain", "Kovačević", "Szőke", "Çelik",
          "Şahin", "Æbelø", "Lefèvre", "Østergård", "Smith", "Johnson", "van der Berg", "O'Neill", "Zürcher", "Peña"},
         {"Zoë", "Françoise", "Søren", "Éloïse", "José", "Jürgen", "Ana", "Mário", "Håkon", "Ľubomír", "Agnieszka",
          "Chloé", "Ümit", "Renée", "John", "Mary", "Piotr", "Inés", "Göran", "Siân"},
         {"Nordwind GmbH", "Café Ünal", "Société Générale d'Électricité", "Ågård & Søn ApS", "Acme Inc.",
          "Schröder AG", "Fábrica Peñalver S.L.", "Żabka sp. z o.o."},
         false},
        {{"Παπαδόπουλος", "Γεωργίου", "Νικολάου", "Ιωάννου", "Οικονόμου", "Καραγιάννης", "Βασιλείου", "Αθανασίου"},
         {"Ελένη", "Δημήτρης", "Κωνσταντίνος", "Μαρία", "Σοφία", "Γιώργος", "Αικατερίνη", "Νίκος"},
         {"Ελληνική Ναυτιλία Α.Ε.", "Αθηναϊκή Ζυθοποιία", "Όμιλος Ολύμπου"},
         false},
        {{"Иванов", "Смирнова", "Кузнецов", "Попова", "Шевченко", "Соколов", "Лебедева", "Ёлкин", "Щукина"},
         {"Алексей", "Ольга", "Дмитрий", "Татьяна", "Юлия", "Сергей", "Наталья", "Євген", "Анна"},
         {"ООО «Ромашка»", "ЗАО Север", "Укртелеком"},
         false},
        {{"王", "李", "张", "刘", "陈", "佐藤", "鈴木", "高橋", "김", "박"},
         {"伟", "芳", "秀英", "翔太", "美咲", "陽菜", "민준", "서연", "建国", "静"},
         {"株式会社サクラ", "华为技术有限公司", "삼성전자", "東京海上"},
         false},
        {{"الحسن", "العلي", "منصور", "حداد", "الخطيب", "يوسف", "الشامي"},
         {"محمد", "فاطمة", "أحمد", "ليلى", "عمر", "نور", "خالد"},
         {"شركة النور", "مؤسسة الخليج", "بنك الأمل"},
         false},
        {{"Schmidt", "Meyer", "Wagner", "Becker", "Hoffmann", "Andersson", "Jensen", "Rossi", "Moreau", "Dubois"},
         {"Anna", "Peter", "Karin", "Thomas", "Lena", "Marco", "Julie", "Erik", "Lucas", "Emma"},
         {"Bäckerei Wagner", "Rossi & Figli", "Hansen Shipping"},
         true},
    };
    return scripts;
}

std::string Number(Random &random)
{
    static const std::vector<std::string> prefixes = {"+49 30 ", "+30 21 0", "+7 495 ", "+86 10 ", "+81 3-",
                                                      "+966 11 ", "+1 (555) ", "+44 20 7", "0"};
    std::string number = random.Pick(prefixes);
    for (int digit = 0; digit < 7; ++digit) {
        number += char('0' + random.Below(10));
        if (digit == 2)
            number += random.Chance(50) ? " " : "-";
    }
    return number;
}

std::string Escape(const std::string &text)
{
    std::string escaped;
    for (char c : text) {
        if (c == ',' || c == ';' || c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string QuotedPrintable(const std::string &text)
{
    static const char *hex = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : text) {
        if (c >= 0x80 || c == '=' || c < 0x20) {
            encoded += '=';
            encoded += hex[c >> 4];
            encoded += hex[c & 15];
        } else {
            encoded += char(c);
        }
    }
    return encoded;
}

// Lines longer than 75 octets continue on lines starting with a blank.
std::string Folded(const std::string &line)
{
    std::string out;
    size_t at = 0;
    while (line.size() - at > 75) {
        out += line.substr(at, 75) + "\r\n ";
        at += 75;
    }
    return out + line.substr(at) + "\r\n";
}

std::string Note(Random &random)
{
    static const std::vector<std::string> words = {"call", "before", "sending", "invoices", "only", "mornings",
                                                   "contract", "renewed", "ask", "for", "the", "accounts", "desk"};
    std::string note = "NOTE:";
    const size_t count = 5 + random.Below(40);
    for (size_t i = 0; i < count; ++i)
        note += (i ? " " : "") + random.Pick(words);
    return Folded(note);
}

std::string Photo(Random &random)
{
    static const char *base64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string data;
    for (int i = 0; i < 3000; ++i)
        data += base64[random.Below(64)];
    return Folded("PHOTO;ENCODING=b;TYPE=JPEG:" + data);
}

struct Person {
    std::string last, first, company;
    bool latin1;
};

std::string Uid(size_t index)
{
    char uid[40];
    std::snprintf(uid, sizeof uid, "bench-%08zx-7c1e", index);
    return uid;
}

std::string Card(Random &random, size_t index)
{
    const Script &script = random.Pick(Scripts());
    Person person{random.Pick(script.last), random.Pick(script.first), "", script.latin1};
    if (random.Chance(30))
        person.company = random.Pick(script.company);
    if (random.Chance(3)) { // a company without a person
        person.last.clear();
        person.first.clear();
        person.company = random.Pick(script.company);
    }
    const int versionRoll = int(random.Below(100));
    const std::string version = versionRoll < 8 ? "2.1" : versionRoll < 15 ? "4.0" : "3.0";
    const std::string fullName = person.first.empty() ? person.company : person.first + " " + person.last;

    struct Tel {
        std::string types; // as a 3.0 TYPE list
        std::string number;
    };
    std::vector<Tel> tels;
    if (random.Chance(70))
        tels.push_back({"WORK,VOICE", Number(random)});
    if (random.Chance(50))
        tels.push_back({"CELL", Number(random)});
    if (random.Chance(60))
        tels.push_back({"WORK,FAX", Number(random)});
    if (random.Chance(25))
        tels.push_back({"HOME,FAX", Number(random)});
    if (random.Chance(10))
        tels.push_back({"FAX", Number(random)});
    if (random.Chance(8))
        tels.push_back({"OTHER,FAX", Number(random)});
    if (random.Chance(20))
        tels.push_back({"HOME,VOICE", Number(random)});

    std::string card = "BEGIN:VCARD\r\nVERSION:" + version + "\r\n";
    if (version == "2.1") {
        const bool qp = random.Chance(50);
        const std::string how = qp ? ";CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" : ";CHARSET=UTF-8:";
        const auto text = [&](const std::string &value) { return qp ? QuotedPrintable(value) : value; };
        card += "UID:" + Uid(index) + "\r\n";
        card += "N" + how + text(Escape(person.last)) + ";" + text(Escape(person.first)) + ";;;\r\n";
        card += "FN" + how + text(fullName) + "\r\n";
        if (!person.company.empty())
            card += "ORG" + how + text(Escape(person.company)) + "\r\n";
        for (const Tel &tel : tels) {
            std::string types = tel.types;
            for (char &c : types)
                if (c == ',')
                    c = ';';
            card += "TEL;" + types + ":" + tel.number + "\r\n";
        }
        card += "EMAIL;INTERNET:contact" + std::to_string(index) + "@example.org\r\n";
    } else if (version == "4.0") {
        card += "KIND:individual\r\nUID:urn:uuid:" + Uid(index) + "\r\n";
        card += "FN:" + fullName + "\r\nN:" + Escape(person.last) + ";" + Escape(person.first) + ";;;\r\n";
        if (!person.company.empty())
            card += "ORG:" + Escape(person.company) + "\r\n";
        for (const Tel &tel : tels) {
            std::string types;
            for (char c : tel.types)
                types += char(std::tolower(static_cast<unsigned char>(c)));
            std::string digits = "tel:";
            for (char c : tel.number)
                if (c == '+' || (c >= '0' && c <= '9'))
                    digits += c;
            card += "TEL;VALUE=uri;TYPE=\"" + types + "\":" + digits + "\r\n";
        }
        card += "EMAIL;TYPE=work:contact" + std::to_string(index) + "@example.org\r\n";
    } else {
        card += "UID:" + Uid(index) + "\r\n";
        card += "FN:" + fullName + "\r\nN:" + Escape(person.last) + ";" + Escape(person.first) + ";;;\r\n";
        if (!person.company.empty())
            card += "ORG:" + Escape(person.company) + ";Sales\r\n";
        for (const Tel &tel : tels)
            card += "TEL;TYPE=" + tel.types + ":" + tel.number + "\r\n";
        card += "EMAIL;TYPE=INTERNET,WORK:contact" + std::to_string(index) + "@example.org\r\n";
        card += "ADR;TYPE=WORK:;;Hauptstraße " + std::to_string(1 + random.Below(200)) + ";Berlin;;10115;Germany\r\n";
    }
    if (random.Chance(40))
        card += Note(random);
    if (random.Chance(2))
        card += Photo(random);
    card += "REV:2024-01-15T10:00:00Z\r\nEND:VCARD\r\n";
    return card;
}

// A list card: never shown, and still there to be read and skipped.
std::string GroupCard(Random &random, size_t index, size_t contacts)
{
    std::string card;
    if (random.Chance(50)) {
        card = "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nUID:urn:uuid:" + Uid(contacts + index) + "\r\nFN:Team "
            + std::to_string(index) + "\r\n";
        for (int m = 0; m < 5; ++m)
            card += "MEMBER:urn:uuid:" + Uid(random.Below(contacts)) + "\r\n";
    } else {
        card = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + Uid(contacts + index) + "\r\nFN:List " + std::to_string(index)
            + "\r\nN:List " + std::to_string(index) + ";;;;\r\nX-EVOLUTION-LIST:TRUE\r\n";
        for (int m = 0; m < 5; ++m)
            card += "EMAIL;X-EVOLUTION-DEST-CONTACT-UID=" + Uid(random.Below(contacts)) + ":member" + std::to_string(m)
                + "@example.org\r\n";
    }
    return card + "END:VCARD\r\n";
}

void Write(const fs::path &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTDIR SIZE...\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    for (int arg = 2; arg < argc; ++arg) {
        const size_t contacts = std::strtoul(argv[arg], nullptr, 10);
        Random random{0xC0FFEEULL + contacts};
        const fs::path folder = out / ("folder-" + std::to_string(contacts));
        fs::remove_all(folder);
        fs::create_directories(folder);
        std::string all;
        // One list per hundred contacts, spread among them.
        const size_t groups = (contacts + 99) / 100;
        size_t groupIndex = 0;
        for (size_t index = 0; index < contacts; ++index) {
            std::string card = Card(random, index);
            Write(folder / (Uid(index) + ".vcf"), card);
            all += card;
            if (groupIndex < groups && index % 100 == 50) {
                std::string group = GroupCard(random, groupIndex, contacts);
                Write(folder / (Uid(contacts + groupIndex) + ".vcf"), group);
                all += group;
                ++groupIndex;
            }
        }
        Write(out / ("book-" + std::to_string(contacts) + ".vcf"), all);
        std::printf("%zu contacts, %zu lists: %s, %zu bytes\n", contacts, groupIndex, folder.c_str(), all.size());
    }
    return 0;
}
