#include "AnswerWindowRig.h"
#include "aitalk/AnswerPage.h"

#include <chrono>

namespace parlendo {
namespace {

using testing::AITalkDesktop;
using testing::answered;
using AnswerPageInEngine = testing::AnswerWindowRig;

// The page's policy lets its own two scripts run, by their hashes. Temml, which the window injects
// at document start, and the scripts the window evaluates are the engine's user scripts and out of
// the policy's reach; what a script tries to run from inside the page is not.
TEST_F(AnswerPageInEngine, OnlyThePagesOwnScriptsRun) {
    auto window = make();
    ASSERT_TRUE(loaded(*window));
    EXPECT_EQ(evaluate(*window, "typeof __answer.show"), Json("function"));
    EXPECT_EQ(evaluate(*window, "typeof renderMarkdown"), Json("function"));
    EXPECT_EQ(evaluate(*window, "typeof temml.render"), Json("function"));

    evaluate(*window, R"(
        window.__refused = 0;
        document.addEventListener('securitypolicyviolation', () => { __refused += 1; });
        const box = document.createElement('div');
        document.body.appendChild(box);
        box.innerHTML = '<img src="x" onerror="window.__ran = 1"><a href="javascript:window.__ran=2">';
        box.querySelector('a').click();
        box.appendChild(document.createRange().createContextualFragment(
            '<script>window.__ran = 3;<\/script>'));
        const made = document.createElement('script');
        made.textContent = 'window.__ran = 4;';
        document.head.appendChild(made);
        true)");
    ASSERT_TRUE(AITalkDesktop::pumpUntil([&] {
        const auto refused = evaluate(*window, "__refused");
        return refused && refused->is_number() && refused->get<int>() >= 3;
    }));
    EXPECT_EQ(evaluate(*window, "typeof window.__ran"), Json("undefined"));
    EXPECT_EQ(
        evaluate(*window,
                 "(function () { try { return eval('1'); } catch (e) { return e.name; } })()"),
        Json("EvalError"));
}

// In this engine too, a hostile answer costs time in proportion to its length: eight times the
// text may not take thirty times as long (quadratic work takes sixty-four).
TEST_F(AnswerPageInEngine, HostileAnswersTakeTimeInProportionToTheirLength) {
    auto window = make();
    ASSERT_TRUE(loaded(*window));
    const std::string measure = R"((function (n) {
        const hostile = [
            (n) => '**a '.repeat(n / 4), (n) => '[a '.repeat(n / 3), (n) => '>'.repeat(n),
            (n) => '~~a '.repeat(n / 4), (n) => '\\(a '.repeat(n / 4),
            (n) => '\\[a\n'.repeat(n / 4), (n) => '$a\\$'.repeat(n / 4),
            (n) => '|a'.repeat(n / 8) + '\n' + '|-'.repeat(n / 8) + '\n' + '|\n'.repeat(n / 4)];
        const timed = (text) => {
            let best = Infinity;
            for (let i = 0; i < 5; i++) {
                const start = performance.now();
                renderMarkdown(text, []);
                best = Math.min(best, performance.now() - start);
            }
            return best;
        };
        return hostile.map((make) => {
            renderMarkdown(make(n), []);
            return [Math.max(timed(make(n)), 2), timed(make(8 * n))];
        });
    }))";
    for (int attempt = 0;; ++attempt) {
        const auto times = evaluate(*window, measure + "(20000)");
        ASSERT_TRUE(times && times->is_array()) << (times ? times->dump() : "no answer");
        bool linear = true;
        for (const auto& pair : *times) {
            linear = linear && pair[1].get<double>() < 30 * pair[0].get<double>();
        }
        if (linear) {
            break;
        }
        // A busy machine can stall one measurement; quadratic growth shows every time.
        ASSERT_LT(attempt, 2) << times->dump();
    }
}

TEST_F(AnswerPageInEngine, FormulasPastTheLimitsAreShownAsTheirSource) {
    auto window = make();
    ASSERT_TRUE(loaded(*window));
    std::string answer = "$" + std::string(2001, 'x') + "$\n";
    for (int i = 0; i < 400; ++i) {
        answer += "$x_{" + std::to_string(i) + "}$ ";
    }
    window->show(answered(answer));
    ASSERT_TRUE(AITalkDesktop::pumpUntil(
        [&] {
            const auto raw =
                evaluate(*window, "document.querySelectorAll('#thread .tex-raw').length");
            return raw && *raw == Json(2);
        },
        20));
    EXPECT_EQ(evaluate(*window, "document.querySelectorAll('#thread math').length"), Json(399));
    EXPECT_EQ(evaluate(*window, "document.querySelector('#thread .tex-raw').title"),
              Json("수식이 너무 많거나 길어 원문을 그대로 보여요"));
    EXPECT_EQ(evaluate(*window, "document.querySelectorAll('#thread .tex-raw')[1].textContent"),
              Json("$x_{399}$"));
}

TEST_F(AnswerPageInEngine, ALongHostileAnswerIsShownCutAndSaysSo) {
    auto window = make();
    ASSERT_TRUE(loaded(*window));
    std::string hostile;
    for (int i = 0; i < 100000; ++i) {
        hostile += "**a ";
    }
    const auto started = std::chrono::steady_clock::now();
    window->show(answered(hostile));
    ASSERT_TRUE(AITalkDesktop::pumpUntil(
        [&] {
            const auto cut = evaluate(*window, "document.querySelectorAll('#thread .cut').length");
            return cut && *cut == Json(1);
        },
        20));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(seconds, 10) << "the window stays responsive";
    EXPECT_EQ(evaluate(*window, "document.querySelector('#thread .cut').textContent"),
              Json("답이 너무 길어 앞부분 100,000자만 보여요 (전체 400,000자)"));
    // The first 100,000 characters, as one paragraph without its last space.
    EXPECT_EQ(evaluate(*window, "document.querySelector('#thread .body').textContent.length"),
              Json(AnswerPage::shownLength - 1));
    AITalkDesktop::pumpFor(0.3);
    EXPECT_GT(testing::saveScreenshot(window->frame(), AITalkDesktop::outputPath("answer-cut.png")),
              500);
}

}  // namespace
}  // namespace parlendo
