// The UI driver against message boxes of known style: it must read back exactly what was
// shown and press exactly the button asked for, or every end-to-end test built on it lies.
#include <gtest/gtest.h>

#include <chrono>

#include "harness/test_paths.h"
#include "harness/ui_driver.h"

namespace hotfix::testing {
namespace {

using namespace std::chrono_literals;

std::string MsgBoxCommand(unsigned style, const std::string& caption, const std::string& text,
                          int count = 1) {
    return QuoteArgument(TestProgramDirectory() + "hotfix-msgbox.exe") + " " +
           std::to_string(style) + " " + QuoteArgument(caption) + " " + QuoteArgument(text) + " " +
           std::to_string(count);
}

struct StyleCase {
    unsigned style;
    BoxIcon icon;
    std::vector<int> buttons;
    BoxAnswer answer;
    unsigned long exitCode;  // the identifier MessageBox returned
};

class BoxStyles : public ::testing::TestWithParam<StyleCase> {};

TEST_P(BoxStyles, ReadsIconAndButtonsAndPressesTheAnswer) {
    const StyleCase& c = GetParam();
    DrivenProcess process = DrivenProcess::Start(MsgBoxCommand(c.style, "Probe caption", "a\\nb"));
    ASSERT_TRUE(process.Started()) << process.StartError();
    const auto box = process.WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Probe caption");
    EXPECT_EQ(box->text, "a\nb");
    EXPECT_EQ(box->icon, c.icon) << BoxIconName(box->icon);
    EXPECT_EQ(box->buttons, c.buttons);
    ASSERT_TRUE(process.Answer(*box, c.answer));
    EXPECT_EQ(process.WaitForExit(), std::optional<unsigned long>(c.exitCode));
}

INSTANTIATE_TEST_SUITE_P(
    Styles, BoxStyles,
    ::testing::Values(
        StyleCase{MB_OK | MB_ICONHAND, BoxIcon::Hand, {IDOK}, BoxAnswer::Ok, IDOK},
        StyleCase{MB_OK | MB_ICONINFORMATION, BoxIcon::Information, {IDOK}, BoxAnswer::Ok, IDOK},
        StyleCase{MB_OK | MB_ICONQUESTION, BoxIcon::Question, {IDOK}, BoxAnswer::Ok, IDOK},
        StyleCase{MB_OK | MB_ICONEXCLAMATION, BoxIcon::Exclamation, {IDOK}, BoxAnswer::Ok, IDOK},
        StyleCase{MB_OK, BoxIcon::None, {IDOK}, BoxAnswer::Ok, IDOK},
        StyleCase{MB_RETRYCANCEL | MB_ICONHAND, BoxIcon::Hand, {IDCANCEL, IDRETRY},
                  BoxAnswer::Cancel, IDCANCEL},
        StyleCase{MB_RETRYCANCEL | MB_ICONHAND, BoxIcon::Hand, {IDCANCEL, IDRETRY},
                  BoxAnswer::Close, IDCANCEL},
        StyleCase{MB_YESNO | MB_ICONQUESTION, BoxIcon::Question, {IDYES, IDNO}, BoxAnswer::No,
                  IDNO}));

TEST(UiDriver, RefusesAButtonTheBoxDoesNotHave) {
    DrivenProcess process = DrivenProcess::Start(MsgBoxCommand(MB_OK, "c", "t"));
    const auto box = process.WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_FALSE(process.Answer(*box, BoxAnswer::Retry, 1000ms));
    ASSERT_TRUE(process.Answer(*box, BoxAnswer::Ok));
    EXPECT_EQ(process.WaitForExit(), std::optional<unsigned long>(IDOK));
}

TEST(UiDriver, SeesEachNewBoxOnceWithItsOwnTime) {
    // Retry shows the box again: the driver must not report the answered box a second time.
    DrivenProcess process = DrivenProcess::Start(MsgBoxCommand(MB_RETRYCANCEL, "c", "t", 3));
    const auto first = process.WaitForMessageBox();
    ASSERT_TRUE(first);
    ASSERT_TRUE(process.Answer(*first, BoxAnswer::Retry));
    const auto second = process.WaitForMessageBox();
    ASSERT_TRUE(second);
    EXPECT_GE(second->seenAt, first->seenAt);
    ASSERT_TRUE(process.Answer(*second, BoxAnswer::Cancel));
    EXPECT_EQ(process.WaitForExit(), std::optional<unsigned long>(IDCANCEL));
    EXPECT_FALSE(process.WaitForMessageBox(200ms));
}

TEST(UiDriver, ReportsNoBoxForAProgramThatShowsNone) {
    DrivenProcess process = DrivenProcess::Start(QuoteArgument(VersionedTestProgram("")));
    ASSERT_TRUE(process.Started());
    EXPECT_FALSE(process.WaitForMessageBox(5s));
    EXPECT_EQ(process.WaitForExit(), std::optional<unsigned long>(0));
}

TEST(UiDriver, TerminatesWhatStillRunsWhenDestroyed) {
    HANDLE duplicate = nullptr;
    {
        DrivenProcess process =
            DrivenProcess::Start(QuoteArgument(VersionedTestProgram("")) + " wait");
        ASSERT_TRUE(process.Started());
        ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), process.ProcessHandle(),
                                      ::GetCurrentProcess(), &duplicate, SYNCHRONIZE, FALSE, 0));
        EXPECT_FALSE(process.WaitForExit(300ms));
    }
    EXPECT_EQ(::WaitForSingleObject(duplicate, 5000), WAIT_OBJECT_0);
    ::CloseHandle(duplicate);
}

TEST(UiDriver, StartFailureCarriesTheSystemError) {
    DrivenProcess process = DrivenProcess::Start("\"C:\\no such dir\\nothing.exe\"");
    EXPECT_FALSE(process.Started());
    EXPECT_NE(process.StartError(), 0u);
    EXPECT_FALSE(process.WaitForMessageBox(100ms));
}

TEST(QuoteArgument, FollowsTheRuntimeRules) {
    EXPECT_EQ(QuoteArgument("plain"), "plain");
    EXPECT_EQ(QuoteArgument(""), "\"\"");
    EXPECT_EQ(QuoteArgument("C:\\Program Files\\x.exe"), "\"C:\\Program Files\\x.exe\"");
    EXPECT_EQ(QuoteArgument("a b\\"), "\"a b\\\\\"");
    EXPECT_EQ(QuoteArgument("say \"hi\""), "\"say \\\"hi\\\"\"");
}

} // namespace
} // namespace hotfix::testing
