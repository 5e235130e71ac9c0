#include "TempDir.h"
#include "aitalk/AnswerLayout.h"
#include "aitalk/AnswerPage.h"
#include "aitalk/AnswerPalette.h"
#include "aitalk/MathLib.h"
#include "foundation/Text.h"

#include <algorithm>
#include <ctime>

#include <gtest/gtest.h>

namespace parlendo {
namespace {

using testing::TempDir;

const std::string renderer =
    "// ── MD_BEGIN\nfunction renderMarkdown(t, m) { return t; }\nfunction mathMount(e, m) {}\n"
    "function mathReady(t) {}\n// ── MD_END ──\n";
const std::string style = "#thread .ai{color:red}";

std::string bundle(const std::string& script, const std::string& css = style) {
    return "<html><head><style>" + css + "</style></head><body><script>" + script +
           "</script></body></html>";
}

TEST(AnswerPage, ThePageIsAssembledInItsFixedOrder) {
    const auto built = AnswerPage::build(bundle(renderer), ThemeMode::dark);
    EXPECT_TRUE(built.usesWindowsRenderer);
    const std::string& html = built.html;
    const std::string rendererScript =
        "\n'use strict';\n" + renderer.substr(0, renderer.find("// ── MD_END")) + "\n";
    const std::string pageScript = "\n'use strict';\n" + AnswerPage::pageScript() + "\n";
    EXPECT_TRUE(html.starts_with(
        "<!doctype html>\n<html lang=\"ko\" data-app-theme=\"dark\">\n<head>\n<meta "
        "charset=\"utf-8\">\n<meta http-equiv=\"Content-Security-Policy\" content=\"" +
        AnswerPage::contentPolicy({rendererScript, pageScript}) + "\">\n<style>\n" + style +
        "\n</style>\n<style>\n"));
    EXPECT_TRUE(html.ends_with("\n</style>\n</head>\n<body>\n<div id=\"thread\"></div>\n<script>" +
                               rendererScript + "</script>\n<script>" + pageScript +
                               "</script>\n</body>\n</html>"));
    EXPECT_NE(html.find(AnswerPage::overrideStyle()), std::string::npos);
}

TEST(AnswerPage, OnlyThePagesOwnScriptsMayRun) {
    // Known digests: the policy names each script by the Base64 of its SHA-256.
    EXPECT_EQ(AnswerPage::contentPolicy({"", "abc"}),
              "default-src 'none'; style-src 'unsafe-inline'; script-src "
              "'sha256-47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=' "
              "'sha256-ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0='; img-src 'none'; "
              "connect-src 'none'; font-src 'none'");
    const std::string html = AnswerPage::build(std::nullopt, ThemeMode::light).html;
    EXPECT_EQ(html.find("unsafe-inline'; img"), std::string::npos);
    EXPECT_EQ(html.find("script-src 'unsafe-inline'"), std::string::npos);
    // Line breaks of a renderer saved with CR LF are read as the page's parser reads them.
    const auto crlf = AnswerPage::rendererBlock(
        "// ── MD_BEGIN\r\nfunction renderMarkdown(){}\rfunction mathMount(){}\r\n"
        "function mathReady(){}\r\n// ── MD_END ──");
    ASSERT_TRUE(crlf);
    EXPECT_EQ(*crlf,
              "// ── MD_BEGIN\nfunction renderMarkdown(){}\nfunction mathMount(){}\nfunction "
              "mathReady(){}\n");
}

TEST(AnswerPage, BlocksThatFailTheirChecksAreNotBorrowed) {
    // A renderer with a closing script tag is refused; its style may still be used.
    auto unsafe = AnswerPage::build(bundle(renderer + "var s='</script>';"), ThemeMode::light);
    EXPECT_TRUE(unsafe.usesWindowsRenderer) << "the tag is outside the block";
    auto inside = AnswerPage::build(
        bundle("// ── MD_BEGIN\nfunction renderMarkdown(){}\nfunction mathMount(){}\n"
               "function mathReady(){ '</script' }\n// ── MD_END ──"),
        ThemeMode::light);
    EXPECT_FALSE(inside.usesWindowsRenderer);
    EXPECT_NE(inside.html.find(style), std::string::npos);
    EXPECT_NE(inside.html.find("<script>\n'use strict';\n\n</script>"), std::string::npos);

    auto noEnd =
        AnswerPage::build(bundle("// ── MD_BEGIN\nfunction renderMarkdown(){}"), ThemeMode::light);
    EXPECT_FALSE(noEnd.usesWindowsRenderer);
    auto noHook = AnswerPage::build(bundle("// ── MD_BEGIN\nfunction renderMarkdown(){}\n"
                                           "function mathMount(){}\n// ── MD_END ──"),
                                    ThemeMode::light);
    EXPECT_FALSE(noHook.usesWindowsRenderer);

    auto otherStyle = AnswerPage::build(bundle(renderer, "body{}"), ThemeMode::light);
    EXPECT_NE(otherStyle.html.find(AnswerPage::fallbackStyle()), std::string::npos);
}

TEST(AnswerPage, WithoutTheBundlePageAnswersArePlainInTheFallbackStyle) {
    const auto built = AnswerPage::build(std::nullopt, ThemeMode::light);
    EXPECT_FALSE(built.usesWindowsRenderer);
    const std::string fallback = AnswerPage::fallbackStyle();
    EXPECT_TRUE(fallback.starts_with(
        ":root[data-app-theme=\"light\"]{--accent:#453e7b;--accent-ink:#ffffff;--card:#fdfdfd;"
        "--ink:#221d19;--line:#e7e5eb;--muted:#6b645d;--soft:#f5f4f2;--warn:#875200;"
        "color-scheme:light}\n:root[data-app-theme=\"dark\"]{--accent:#b8aede;"));
    EXPECT_NE(built.html.find(fallback), std::string::npos);
    EXPECT_NE(AnswerPage::overrideStyle().find(
                  ":root[data-app-theme=\"dark\"] ::selection{background:rgba(184,174,222,0.25)}"),
              std::string::npos);
}

TEST(AnswerPage, ThePayloadCarriesTheTurnsAndNothingElse) {
    AnswerState state;
    state.phase = AnswerState::Phase::notFound;
    state.pending = true;
    state.notice = "notice";
    state.turns = {{AnswerState::Turn::Role::assistant, "line\xE2\x80\xA8sep\xE2\x80\xA9para"},
                   {AnswerState::Turn::Role::user, "</script><b>x</b>"}};
    const std::string payload = AnswerPage::payload(state);
    EXPECT_EQ(payload.find("\xE2\x80\xA8"), std::string::npos);
    EXPECT_NE(payload.find("line\\u2028sep\\u2029para"), std::string::npos);
    auto parsed = json::parse(payload);
    ASSERT_TRUE(parsed);
    EXPECT_EQ((*parsed)["loading"], false);
    EXPECT_EQ((*parsed)["pending"], false) << "only an answered thread is pending";
    EXPECT_EQ((*parsed)["thinking"], "생각 중");
    EXPECT_EQ((*parsed)["turns"][1], (Json{{"role", "user"}, {"text", "</script><b>x</b>"}}));
    EXPECT_EQ(parsed->size(), 4u);
    EXPECT_EQ(AnswerPage::themeScript(ThemeMode::dark), "__answer.theme('dark')");
}

AnswerState answeredWith(std::vector<std::string> answers) {
    AnswerState state;
    state.phase = AnswerState::Phase::answered;
    for (auto& answer : answers) {
        state.turns.push_back({AnswerState::Turn::Role::assistant, std::move(answer)});
    }
    return state;
}

std::string repeated(const std::string& piece, size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

// The first turn of a payload, as the page reads it.
Json firstTurn(const AnswerState& state) {
    const auto parsed = json::parse(AnswerPage::payload(state));
    return parsed ? (*parsed)["turns"][0] : Json();
}

TEST(AnswerPage, ALongAnswerCrossesOnlyAsFarAsThePageShowsIt) {
    const size_t limit = AnswerPage::shownLength;
    // 8 MiB, the most the ask client takes, of Korean prose.
    const std::string prose = repeated("행렬식이 0 이 아니면 역행렬이 있어요. ", 8 << 20 >> 6);
    const std::string payload = AnswerPage::payload(answeredWith({prose}));
    EXPECT_LT(payload.size(), 400000u);
    const Json turn = firstTurn(answeredWith({prose}));
    EXPECT_EQ(text::utf16Count(turn["text"].get<std::string>()), limit);
    EXPECT_EQ(turn["length"], text::utf16Count(prose)) << "the whole length, for the cut line";
    EXPECT_FALSE(firstTurn(answeredWith({std::string(limit, 'a')})).contains("length"));

    // Cut at the last line break within 2,000 units of the limit, else at the limit; never
    // inside a surrogate pair.
    const std::string near = std::string(limit - 1500, 'a') + "\n" + std::string(5000, 'b');
    EXPECT_EQ(firstTurn(answeredWith({near}))["text"], std::string(limit - 1500, 'a'));
    const std::string far = std::string(limit - 2500, 'a') + "\n" + std::string(5000, 'b');
    EXPECT_EQ(firstTurn(answeredWith({far}))["text"].get<std::string>().size(), limit);
    const std::string atLimit = std::string(limit, 'a') + "\nb";
    EXPECT_EQ(firstTurn(answeredWith({atLimit}))["text"], std::string(limit, 'a'));
    const std::string pair = std::string(limit - 1, 'a') +
                             "\xF0\x9F\x98\x80"
                             "b";
    EXPECT_EQ(firstTurn(answeredWith({pair}))["text"], std::string(limit - 1, 'a'));
    EXPECT_EQ(firstTurn(answeredWith({pair}))["length"], limit + 2);
}

// The processor time of building a payload, the fastest of three, in seconds.
double payloadSeconds(const AnswerState& state) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const std::clock_t start = std::clock();
        const std::string payload = AnswerPage::payload(state);
        best = std::min(best, static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
        EXPECT_FALSE(payload.empty());
    }
    return best;
}

TEST(AnswerPage, ThePayloadTakesTimeInProportionToTheAnswers) {
    // Line separators, each escaped for JavaScript: one answer of them, then eight.
    const std::string separators = repeated("\xE2\x80\xA8", AnswerPage::shownLength / 2);
    const AnswerState one = answeredWith({separators});
    const AnswerState eight = answeredWith(std::vector<std::string>(8, separators));
    std::string seen;
    for (int attempt = 0;; ++attempt) {
        const double small = std::max(payloadSeconds(one), 0.001);
        const double large = payloadSeconds(eight);
        seen += " " + std::to_string(small) + " s, then " + std::to_string(large) + " s;";
        if (large < 30 * small) {
            break;
        }
        // A busy machine can stall one measurement; work that grows with the square shows every
        // time.
        ASSERT_LT(attempt, 2) << seen;
    }
}

TEST(MathLib, TheFirstTemmlFolderWithAScriptIsReadOnce) {
    TempDir dir;
    dir.write("vendor/temml-0.10.0/temml.min.js", "");
    dir.write("vendor/other/temml.min.js", "not this");
    MathLib lib(dir.path());
    EXPECT_EQ(lib.source(), "");
    dir.write("vendor/temml-0.11.0/temml.min.js", "window.temml={};");
    EXPECT_EQ(lib.source(), "") << "fixed after the first read";
    MathLib fresh(dir.path());
    EXPECT_EQ(fresh.source(), "window.temml={};");
    EXPECT_EQ(MathLib(std::nullopt).source(), "");
    EXPECT_EQ(MathLib(dir.path() / "missing").source(), "");
}

using AnswerLayout::Rect;

TEST(AnswerLayout, TheWindowSitsTopRightAndGrowsDownward) {
    EXPECT_EQ(AnswerLayout::height(159.2), 160);
    EXPECT_EQ(AnswerLayout::height(300.1), 301);
    EXPECT_EQ(AnswerLayout::height(900), 560);
    EXPECT_EQ(AnswerLayout::initialFrame({0, 0, 1440, 875}, 420, 160), (Rect{1004, 691, 420, 160}));
    EXPECT_EQ(AnswerLayout::initialFrame({0, 0, 400, 875}, 420, 160).width, 368);
    EXPECT_EQ(AnswerLayout::initialFrame({0, 0, 800, 600}, 900, 700), (Rect{16, 24, 768, 552}));
    // Resizing keeps the top edge; a window that would leave the area is pinned to its bottom,
    // one taller than the area to its top.
    const Rect visible{0, 0, 1440, 875};
    EXPECT_EQ(AnswerLayout::resized({1004, 691, 420, 160}, 300, visible),
              (Rect{1004, 551, 420, 300}));
    EXPECT_EQ(AnswerLayout::resized({1004, 100, 420, 160}, 300, visible),
              (Rect{1004, 0, 420, 300}));
    EXPECT_EQ(AnswerLayout::resized({1004, 100, 420, 160}, 1000, visible),
              (Rect{1004, -125, 420, 1000}));
}

TEST(AnswerLayout, SavedSizesAreReadStrictly) {
    using Size = std::optional<std::pair<double, double>>;
    EXPECT_EQ(AnswerLayout::parseSize("420,300"), Size({420, 300}));
    EXPECT_EQ(AnswerLayout::parseSize("420,,300"), Size({420, 300}));
    for (const char* bad : {"299,300", "420,159", "420,4001", "420", "wide,tall", " 420,300",
                            "420,300,1", "nan,300"}) {
        EXPECT_EQ(AnswerLayout::parseSize(std::string(bad)), std::nullopt) << bad;
    }
    EXPECT_EQ(AnswerLayout::parseSize(std::nullopt), std::nullopt);
    EXPECT_EQ(AnswerLayout::sizeText(420.4, 300.5), "420,301");
}

TEST(AnswerLayout, SolidsAreReadFromThePageAndBlankPointsLieOutsideThem) {
    auto answer = json::parse(R"([[0,0,10,10],"text",[1,2,3]])");
    auto solids = AnswerLayout::solids(answer);
    ASSERT_TRUE(solids);
    EXPECT_EQ(*solids, std::vector<Rect>{(Rect{0, 0, 10, 10})});
    EXPECT_FALSE(AnswerLayout::isBlank(5, 5, solids));
    EXPECT_TRUE(AnswerLayout::isBlank(10, 5, solids));
    EXPECT_FALSE(AnswerLayout::isBlank(5, 5, std::nullopt)) << "unknown counts as solid";
    EXPECT_TRUE(AnswerLayout::isBlank(5, 5, std::vector<Rect>{}));
    EXPECT_EQ(AnswerLayout::solids(json::parse(R"({"a":1})")), std::nullopt);
}

TEST(AnswerCountdown, CountsOnlyWhileAnAnswerIsShownAndNothingPauses) {
    AnswerCountdown countdown;
    EXPECT_FALSE(countdown.tick(1.0, AnswerState::Phase::loading, false));
    EXPECT_FALSE(countdown.tick(1.0, AnswerState::Phase::answered, true));
    EXPECT_EQ(countdown.remaining, 10.0);
    for (int i = 0; i < 9; ++i) {
        EXPECT_FALSE(countdown.tick(1.0, AnswerState::Phase::answered, false));
    }
    EXPECT_DOUBLE_EQ(countdown.fraction(), 0.1);
    EXPECT_TRUE(countdown.tick(1.0, AnswerState::Phase::answered, false));
    EXPECT_EQ(countdown.fraction(), 0.0);
    countdown.restart();
    EXPECT_EQ(countdown.fraction(), 1.0);
}

}  // namespace
}  // namespace parlendo
