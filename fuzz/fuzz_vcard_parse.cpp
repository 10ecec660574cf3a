// The vCard reader on any bytes. Beyond crashes and sanitizer findings it
// checks that:
// - the cards of the pieces, one after another, are those of the whole;
// - reading at most N cards gives the first N cards;
// - the library is handed no line end but CR LF;
// - the work is linear in the input;
// - every listed card has something to list, and every reply the program
//   could build from it is four CR LF lines.
#include "fuzz_common.h"

#include "vcard_store.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView contents(reinterpret_cast<const char *>(data), qsizetype(size));

    ReadTrace trace;
    trace.libraryText = [](QByteArrayView text) {
        for (qsizetype at = 0; at < text.size(); ++at) {
            if (text[at] == '\r')
                Require(at + 1 < text.size() && text[at + 1] == '\n', "library text: CR only before LF", text);
            if (text[at] == '\n')
                Require(at > 0 && text[at - 1] == '\r', "library text: LF only after CR", text);
        }
    };
    const std::vector<ParsedCard> whole = ParseVCards(contents, VCardStore::kMaxCards, &trace);

    for (const ParsedCard &card : whole) {
        CheckListable(card);
        CheckReplies(card);
    }

    // Pieces as small as the input suggests, so that they fall between cards.
    QByteArray converted;
    const QByteArrayView text = AsUtf8Text(contents, converted);
    // UTF-16 text grows by half at most as UTF-8; the work is bound by that.
    Require(trace.bytesExamined <= 4 * quint64(text.size()) + 64, "linear work");
    const qsizetype pieceBytes = size > 0 ? 1 + data[0] % 64 : 1;
    std::vector<ParsedCard> pieced;
    for (QByteArrayView piece : SplitBetweenCards(text, pieceBytes)) {
        if (qsizetype(pieced.size()) >= VCardStore::kMaxCards)
            break;
        for (ParsedCard &card : ParseVCards(piece, VCardStore::kMaxCards))
            pieced.push_back(std::move(card));
    }
    if (pieced.size() > whole.size())
        pieced.erase(pieced.begin() + qsizetype(whole.size()), pieced.end());
    Require(pieced == whole, "pieces read as the whole");

    const qsizetype first = qsizetype(whole.size() / 2);
    const std::vector<ParsedCard> some = ParseVCards(contents, first);
    Require(some == std::vector<ParsedCard>(whole.begin(), whole.begin() + first), "at most N cards are the first N");
    return 0;
}
