#include <gtest/gtest.h>

#include "FakeClock.h"
#include "ManualExecutor.h"
#include "ScriptedAccount.h"
#include "account/NewPasswordModel.h"
#include "auth/AuthCode.h"

namespace parlendo {
namespace {

using namespace parlendo::testing;

struct PasswordRig {
    std::shared_ptr<ManualExecutor> main = std::make_shared<ManualExecutor>();
    std::shared_ptr<ScriptedAccount> account = std::make_shared<ScriptedAccount>();
    int done = 0;
    std::vector<std::string> effects;
    std::shared_ptr<NewPasswordModel> model = NewPasswordModel::make(
        account, [this] { ++done; }, main);

    PasswordRig() {
        model->view.clearFields = [this] {
            effects.push_back("clear");
        };
        model->view.close = [this] {
            effects.push_back("close");
        };
    }
    void submit(const std::string& first, const std::string& second) {
        model->submit(first, second);
        main->runAll();
    }
};

TEST(NewPasswordModel, ChecksLengthThenEqualityBeforeAsking) {
    PasswordRig rig;
    rig.submit("12345", "12345");
    EXPECT_EQ(rig.model->message(), NewPasswordModel::tooShort);
    // The length is checked first.
    rig.submit("12345", "other");
    EXPECT_EQ(rig.model->message(), NewPasswordModel::tooShort);
    rig.submit("123456", "123457");
    EXPECT_EQ(rig.model->message(), NewPasswordModel::mismatch);
    // Characters as the user sees them: five syllables and an emoji family are six, the
    // decomposed syllables of one word are not.
    rig.submit("가나다라마", "가나다라마");
    EXPECT_EQ(rig.model->message(), NewPasswordModel::tooShort);
    rig.submit("\u1100\u1161\u1102\u1161\u1103\u1161", "x");
    EXPECT_EQ(rig.model->message(), NewPasswordModel::tooShort);
    EXPECT_TRUE(rig.account->asked.empty());
    rig.submit("가나다라마👨‍👩‍👧", "가나다라마👨‍👩‍👧");
    EXPECT_EQ(rig.account->asked,
              std::vector<std::string>{"password 가나다라마👨‍👩‍👧"});
    EXPECT_EQ(rig.done, 1);
    EXPECT_EQ(rig.effects, std::vector<std::string>{"close"});
}

TEST(NewPasswordModel, AFailedChangeKeepsTheWindowAndAShowStartsAfresh) {
    PasswordRig rig;
    rig.account->hold = true;
    rig.account->passwordAnswer = fail(AccountError(std::nullopt, AuthCode::reauthRequired));
    rig.model->submit("비밀번호여섯", "비밀번호여섯");
    EXPECT_FALSE(rig.model->buttonEnabled());
    // A second press while the change runs starts nothing.
    rig.model->submit("비밀번호여섯", "비밀번호여섯");
    EXPECT_EQ(rig.account->asked.size(), 1u);
    rig.account->release();
    rig.main->runAll();
    EXPECT_TRUE(rig.model->buttonEnabled());
    EXPECT_EQ(rig.model->message(), *AuthCode::text(AuthCode::reauthRequired));
    EXPECT_EQ(rig.done, 0);
    rig.model->show();
    EXPECT_EQ(rig.model->message(), "");
    EXPECT_EQ(rig.effects, std::vector<std::string>{"clear"});
}

}  // namespace
}  // namespace parlendo
