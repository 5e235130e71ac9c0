#include "PageRig.h"

#include <gtest/gtest.h>

#include <fstream>

namespace parlendo::testing {
namespace {

// The nonce the page's scripts carry in this load.
std::string pageNonce(PageRig& rig) {
    const auto nonce = rig.js("document.querySelector('script[nonce]').nonce");
    return nonce && nonce->is_string() ? nonce->get<std::string>() : "";
}

// The manage page runs its own files only, each load with a nonce of its own. The scripts the
// window injects at document start and the ones it evaluates are the engine's user scripts, out
// of the policy's reach; what a script of the page (or one of them) tries to run is not.
TEST(ContentPolicyPage, OnlyThePagesOwnScriptsRunAndEveryLoadHasItsOwnNonce) {
    PageRig rig;
    ASSERT_TRUE(rig.open());
    EXPECT_EQ(rig.js("typeof Parlendo.bridge.call"), Json("function"));
    EXPECT_EQ(rig.js("typeof __prlMac.replaceText"), Json("function")) << "a user script";
    const std::string first = pageNonce(rig);
    EXPECT_GE(first.size(), 32u);
    EXPECT_EQ(first.find('@'), std::string::npos);

    // What a mistake of the page could let an answer or a title put into it never runs: an event
    // handler, an inline script, a script file from elsewhere, nor even one of the page's own
    // files without this load's nonce.
    const auto elsewhere = rig.dir.write("elsewhere.js", "window.__ran = 'file';");
    ASSERT_TRUE(rig.js(R"(
        window.__refused = [];
        document.addEventListener('securitypolicyviolation', (e) => __refused.push(e.blockedURI));
        const box = document.createElement('div');
        document.body.appendChild(box);
        box.innerHTML = '<img src="missing.png" onerror="window.__ran = \'handler\'">';
        box.appendChild(document.createRange().createContextualFragment(
            '<script>window.__ran = "inline";<\/script>' +
            '<script src="file://)" +
                       elsewhere.string() + R"("><\/script>' +
            '<script src="manage/dom.js"><\/script>'));
        const made = document.createElement('script');
        made.textContent = 'window.__ran = "made";';
        document.head.appendChild(made);
        true)"));
    ASSERT_TRUE(rig.waitFor("__refused.length >= 5"));
    EXPECT_EQ(rig.js("typeof window.__ran"), Json("undefined"));
    EXPECT_EQ(rig.js("__refused.filter((u) => u.startsWith('file')).length"), Json(2));
    // Scripts the window evaluates run, but what they would evaluate in turn does not.
    EXPECT_EQ(rig.js("(function () { try { return eval('1'); } catch (e) { return e.name; } })()"),
              Json("EvalError"));

    // A reload reads the page again, with a new nonce, and it works as before.
    rig.js("location.reload(); true");
    ASSERT_TRUE(rig.until([&] { return rig.log.contains("manage", "관리 화면 다시 불러옴"); }));
    ASSERT_TRUE(rig.waitFor("document.querySelector('script[nonce]').nonce !== '" + first +
                            "' && !!window.Parlendo && "
                            "!!document.querySelector('#frame:not([hidden])')"));
    EXPECT_GE(pageNonce(rig).size(), 32u);
    EXPECT_EQ(rig.pageErrors(), 0);
}

}  // namespace
}  // namespace parlendo::testing
