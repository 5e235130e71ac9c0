// Selected text as the capture road reads it: classification into a word, a sentence or a skip,
// the lemma rules and the text helpers underneath, over any bytes.

#include "FuzzSupport.h"
#include "capture/InputClassify.h"
#include "foundation/PyText.h"
#include "foundation/Text.h"
#include "lookup/Lemmatizer.h"
#include "lookup/SenseGeneration.h"

using namespace parlendo;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::enterPrivateHome();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const size_t n = in.byte();
    const std::string text = in.rest();
    (void)InputClassify::classify(text);
    const std::string word = InputClassify::cleanWord(text);
    (void)InputClassify::sentenceGuard(text);
    (void)InputClassify::overLength(text);
    (void)Lemmatizer::suffixCandidates(text);
    (void)Lemmatizer::suffixCandidates(word);
    (void)SenseGeneration::lemma(text);
    (void)PyText::strip(text);
    (void)PyText::count(text);
    (void)PyText::prefix(text, n);
    (void)PyText::lower(text);
    (void)PyText::same(text, word);
    (void)text::characterCount(text);
    (void)text::characterPrefix(text, n);
    (void)text::utf16Count(text);
    (void)text::nfc(text);
    (void)text::nfkc(text);
    (void)text::lowercased(text);
    (void)text::trimWhitespaceAndNewlines(text);
    return 0;
}
