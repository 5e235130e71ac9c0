// Server answers as the lookup, saving, popup and gate code reads them: dictionary and
// generation answers, translations, embeddings, table rows, save receipts, popup rows, drafting
// answers and rejection bodies. Every parser takes any bytes and answers a value.

#include "FuzzSupport.h"
#include "foundation/Json.h"
#include "lookup/DictionaryLookup.h"
#include "lookup/EmbedClient.h"
#include "lookup/SenseGeneration.h"
#include "lookup/TranslationClient.h"
#include "popups/PopupDraftRules.h"
#include "popups/PopupPresentation.h"
#include "popups/PopupSetting.h"
#include "saving/SaveReceipt.h"
#include "server/ServerCalling.h"
#include "server/ServerContract.h"

using namespace parlendo;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::enterPrivateHome();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t which = in.byte();
    const std::string word = in.field();
    const std::string body = in.rest();
    const double now = 1'780'000'000.0;
    switch (which % 8) {
        case 0:
            (void)DictionaryLookup::parse(body, word);
            break;
        case 1:
            (void)SenseGeneration::parse(body, word);
            (void)SenseGeneration::lemma(word);
            break;
        case 2:
            (void)TranslationClient::parse(body, word);
            break;
        case 3:
            (void)EmbedClient::parse(body);
            break;
        case 4:
            if (auto rows = ServerCalling::parseRows(body)) {
                for (const Json& row : *rows) {
                    (void)PopupSetting::parse(row);
                    (void)PopupPresentation::wordTexts(row);
                    (void)PopupPresentation::sections(row, {"korean", "definition", "example"});
                }
            }
            break;
        case 5:
            (void)SaveReceipt::parse(body);
            break;
        case 6: {
            const auto call = PopupDraftRules::functionCall(body);
            (void)call;
            if (auto parsed = json::parse(body)) {
                (void)PopupDraftRules::validate(&*parsed);
            }
            break;
        }
        case 7: {
            const HttpHeaders headers{{"Retry-After", word}};
            for (const char* path :
                 {"/functions/v1/translate", "/rest/v1/words", "/auth/v1/token"}) {
                (void)ServerContract::classify(static_cast<int>(400 + which % 130), body, headers,
                                               path, now);
            }
            (void)ServerContract::retryAfter(std::optional<std::string>(word), now);
            (void)ServerContract::date(word);
            if (auto reply = json::parse(body)) {
                (void)ServerContract::gate(*reply, word, "mac", now);
            }
            break;
        }
        default:
            break;
    }
    return 0;
}
