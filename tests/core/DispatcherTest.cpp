#include "core/Dispatcher.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "config/Options.h"
#include "core/CategoryActions.h"
#include "core/ColorList.h"
#include "core/WarningQueue.h"
#include "support/TempFolder.h"
#include "warnings/Backuper.h"
#include "warnings/Warning.h"

namespace sentrel {
namespace {

using test::TempFolder;

// What happened to the warnings of a test, in order: "fix <name>" ("fix (black list) <name>" when
// the black list settled it), "alert <title>", "gone <name>".
std::vector<std::string> events;

// A warning whose texts and fix are stand-ins, of a kind in the categories of a real one.
class Fake : public TWarning {
public:
    Fake(const WarningKind& kind, std::string name, bool failFix = false, bool failTexts = false)
        : TWarning(kind, std::move(name)), fixThrows(failFix), textsThrow(failTexts) {}
    ~Fake() override { events.push_back("gone " + Name); }

    const bool fixThrows;
    const bool textsThrow;
};

void FixFake(const TWarning& warning, const NewBackupResult&, FixOutcome& outcome, const WarningWorkerContext&) {
    events.push_back((warning.SettledByBlackList ? "fix (black list) " : "fix ") + warning.Name);
    outcome.notices.push_back("fixed " + warning.Name);
    if (WarningAs<Fake>(warning).fixThrows) throw std::runtime_error("the file is locked");
}

WarningTexts FakeTexts(const TWarning& warning) {
    if (WarningAs<Fake>(warning).textsThrow) throw std::runtime_error("malformed mask");
    return {.title = "title " + warning.Name, .description = "about " + warning.Name, .picture = "bug", .danger = "_red"};
}

constexpr WarningKind kFakeFile{.name = "FakeFile", .categories = {kFilesCategory}, .fix = &FixFake, .texts = &FakeTexts};
constexpr WarningKind kFakeCookie{
    .name = "FakeCookie", .categories = {kCookiesCategory}, .fix = &FixFake, .texts = &FakeTexts};
constexpr WarningKind kFakeBrowserSetting{.name = "FakeBrowserSetting",
                                          .categories = {kAutorunCategory, kBrowserSettingsCategory},
                                          .fix = &FixFake,
                                          .texts = &FakeTexts};
constexpr WarningKind kFakeRegistry{
    .name = "FakeRegistry", .categories = {kRegistryCategory, kAutorunCategory}, .fix = &FixFake, .texts = &FakeTexts};

std::unique_ptr<TWarning> File(const std::string& name) {
    return std::make_unique<Fake>(kFakeFile, name);
}
std::unique_ptr<TWarning> Cookie(const std::string& name) {
    return std::make_unique<Fake>(kFakeCookie, name);
}
std::unique_ptr<TWarning> BrowserSetting(const std::string& key) {
    return std::make_unique<Fake>(kFakeBrowserSetting, key);
}
std::unique_ptr<TWarning> RegistryEntry(const std::string& key) {
    return std::make_unique<Fake>(kFakeRegistry, key);
}

class DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override { events.clear(); }

    // Sets options of options.ini ("Options" section) before the first tick.
    void Set(std::string_view key, int value) { options.WriteInteger(key, value); }

    TempFolder folder;
    TOptions options{"options.ini", folder.Path()};
    TBackuper backuper{folder.Path()};
    TColorList whiteList{folder / "white_list.txt"};
    TColorList blackList{folder / "black_list.txt"};
    WarningQueue queue;
    std::vector<AlertTexts> shown;
    TDispatcher dispatcher{{queue, whiteList, blackList, options, backuper, [this](const AlertTexts& texts) {
                                shown.push_back(texts);
                                events.push_back("alert " + texts.title);
                                queue.SetAlertBusy(true);
                            }}};
};

TEST_F(DispatcherTest, ListsMatchTheDescriptionAsTheAlertShowedIt) {
    Set(kWhatDoKey, 0);
    // Entries made from the alert window hold the description it showed.
    whiteList.AddAndSave("about known.exe");
    blackList.AddAndSave("about bad.dll");
    blackList.AddAndSave("about known.exe");  // the white list is asked first
    queue.QueueWarning(File("known.exe"));
    queue.QueueWarning(File("bad.dll"));
    queue.QueueWarning(File("new.dll"));

    dispatcher.MainTimerTimer();
    EXPECT_EQ(events, (std::vector<std::string>{"gone known.exe"}));
    dispatcher.MainTimerTimer();
    EXPECT_EQ(events, (std::vector<std::string>{"gone known.exe", "fix (black list) bad.dll", "gone bad.dll"}));
    dispatcher.MainTimerTimer();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, "title new.dll");
    EXPECT_EQ(shown[0].description, "about new.dll");
    EXPECT_EQ(shown[0].picture, "bug");
    EXPECT_EQ(shown[0].danger, "_red");
    EXPECT_EQ(queue.Current(), queue.Head());
}

// A line naming a finding's facts matches it as a description line does; the alert still shows
// the description, and hands the facts on.
TEST_F(DispatcherTest, ALineOfAFindingsFactsMatchesAsItsDescriptionDoes) {
    Set(kWhatDoKey, 0);
    whiteList.AddAndSave("autostart | p | Chat | C:\\Chat\\app-#\\Chat.exe");
    blackList.AddAndSave("AUTOSTART | p | Evil | C:\\evil.exe");
    const auto withFacts = [](const std::string& name, const std::string& facts) {
        auto warning = File(name);
        warning->ListFacts = facts;
        return warning;
    };
    queue.QueueWarning(withFacts("chat.exe", "autostart | p | Chat | C:\\Chat\\app-#\\Chat.exe"));
    queue.QueueWarning(withFacts("evil.exe", "autostart | p | Evil | C:\\evil.exe"));
    queue.QueueWarning(withFacts("elsewhere.exe", "autostart | p | Chat | C:\\Temp\\app-#\\Chat.exe"));
    for (int tick = 0; tick < 3; ++tick) dispatcher.MainTimerTimer();
    EXPECT_EQ(events, (std::vector<std::string>{"gone chat.exe", "fix (black list) evil.exe", "gone evil.exe",
                                                "alert title elsewhere.exe"}));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].description, "about elsewhere.exe");
    EXPECT_EQ(shown[0].listFacts, "autostart | p | Chat | C:\\Temp\\app-#\\Chat.exe");
}

TEST_F(DispatcherTest, CategoriesAreAskedInTableOrderBeforeTheMode) {
    Set(kWhatDoKey, 0);
    Set("AutorunAction", 2);
    Set("BrowserSettingsAction", 1);
    Set("RegistryAction", 1);
    Set("FilesAction", 1);
    queue.QueueWarning(BrowserSetting("Software\\Microsoft\\Internet Explorer\\Main"));
    queue.QueueWarning(RegistryEntry("Software\\Bad\\"));
    queue.QueueWarning(File("bad.dll"));
    queue.QueueWarning(Cookie("user@ads.txt"));
    for (int tick = 0; tick < 4; ++tick) dispatcher.MainTimerTimer();

    // "AutorunAction" drops the browser-setting and registry warnings whatever their own
    // options say; the file is fixed by its category; the cookie has none, so it is asked.
    EXPECT_EQ(events, (std::vector<std::string>{"gone Software\\Microsoft\\Internet Explorer\\Main",
                                                "gone Software\\Bad\\", "fix bad.dll", "gone bad.dll",
                                                "alert title user@ads.txt"}));
}

TEST_F(DispatcherTest, TheModeSettlesWhatNoListOrCategoryDid) {
    struct Case {
        std::optional<int> whatDo;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {std::nullopt, {"fix a.dll", "gone a.dll"}},  // missing: shield without prompt
        {1, {"fix a.dll", "gone a.dll"}},
        {2, {"gone a.dll"}},
        {0, {"alert title a.dll"}},
        {7, {"alert title a.dll"}},  // any other value asks
    };
    for (const Case& c : cases) {
        TempFolder caseFolder;
        TOptions caseOptions{"options.ini", caseFolder.Path()};
        if (c.whatDo) caseOptions.WriteInteger(kWhatDoKey, *c.whatDo);
        WarningQueue caseQueue;
        TDispatcher caseDispatcher{{caseQueue, whiteList, blackList, caseOptions, backuper,
                                    [&](const AlertTexts& texts) { events.push_back("alert " + texts.title); }}};
        events.clear();
        caseQueue.QueueWarning(File("a.dll"));
        caseDispatcher.MainTimerTimer();
        EXPECT_EQ(events, c.expected) << "WhatDo " << (c.whatDo ? std::to_string(*c.whatDo) : "missing");
        caseQueue.ClearCurrent();
    }
}

TEST_F(DispatcherTest, SettlesOneWarningPerTickAndWaitsForTheAlert) {
    Set(kWhatDoKey, 1);
    queue.QueueWarning(File("a.dll"));
    queue.QueueWarning(File("b.dll"));
    dispatcher.MainTimerTimer();
    EXPECT_EQ(queue.Count(), 1u);

    // While the alert window shows a warning nothing else is fixed or dropped.
    queue.SetAlertBusy(true);
    dispatcher.MainTimerTimer();
    EXPECT_EQ(queue.Count(), 1u);
    queue.SetAlertBusy(false);
    queue.MakeHeadCurrent();
    dispatcher.MainTimerTimer();
    EXPECT_EQ(queue.Count(), 1u);

    queue.ClearCurrent();
    dispatcher.MainTimerTimer();
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(events, (std::vector<std::string>{"fix a.dll", "gone a.dll", "fix b.dll", "gone b.dll"}));
}

TEST_F(DispatcherTest, AFailedTickDoesNotHoldTheDispatcher) {
    Set(kWhatDoKey, 1);
    queue.QueueWarning(std::make_unique<Fake>(kFakeFile, "locked.dll", true));
    queue.QueueWarning(File("next.dll"));

    dispatcher.MainTimerTimer();
    EXPECT_EQ(queue.Count(), 1u);
    EXPECT_EQ(queue.Current(), nullptr);
    dispatcher.MainTimerTimer();
    EXPECT_TRUE(queue.Empty());

    // An alert that cannot be shown releases the busy flag and the warning.
    Set(kWhatDoKey, 0);
    TDispatcher failingAlert{{queue, whiteList, blackList, options, backuper, [this](const AlertTexts&) {
                                  queue.SetAlertBusy(true);
                                  throw std::runtime_error("no window");
                              }}};
    queue.QueueWarning(File("shown.dll"));
    failingAlert.MainTimerTimer();
    EXPECT_TRUE(queue.Empty());
    EXPECT_FALSE(queue.AlertBusy());
    EXPECT_EQ(events, (std::vector<std::string>{"fix locked.dll", "gone locked.dll", "fix next.dll", "gone next.dll",
                                                "gone shown.dll"}));
}

TEST_F(DispatcherTest, TakesNoNextWarningWhileAFixActs) {
    Set(kWhatDoKey, 1);
    std::function<void()> act, finish;
    WarningQueue slow({}, [&](auto work, auto then) { std::tie(act, finish) = std::tie(work, then); });
    std::vector<std::string> told;
    TDispatcher automatic{{slow, whiteList, blackList, options, backuper, [](const AlertTexts&) {}, {},
                           [&](const std::string& text) { told.push_back(text); }}};
    slow.QueueWarning(File("first.dll"));
    automatic.MainTimerTimer();
    ASSERT_TRUE(act);

    // Found meanwhile: queued, and left waiting while the fix acts.
    slow.QueueWarning(File("second.dll"));
    act();
    automatic.MainTimerTimer();
    EXPECT_EQ(slow.Count(), 2u);
    EXPECT_EQ(events, (std::vector<std::string>{"fix first.dll"}));

    // The finish removes it and says what the fix had to say; the next tick takes the next one.
    finish();
    EXPECT_EQ(told, (std::vector<std::string>{"fixed first.dll"}));
    automatic.MainTimerTimer();
    EXPECT_EQ(slow.BeingFixed(), slow.Head());
    EXPECT_EQ(slow.Head()->Name, "second.dll");
}

TEST_F(DispatcherTest, AWarningWhoseTextsFailIsStillDecided) {
    // Fixed by the mode, or asked about with empty texts: never dropped unseen.
    for (const int whatDo : {1, 0}) {
        Set(kWhatDoKey, whatDo);
        events.clear();
        queue.QueueWarning(std::make_unique<Fake>(kFakeFile, "odd.exe", false, true));
        dispatcher.MainTimerTimer();
        if (whatDo == 1) {
            EXPECT_EQ(events, (std::vector<std::string>{"fix odd.exe", "gone odd.exe"}));
        } else {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].title, "");
            EXPECT_EQ(shown[0].description, "");
            EXPECT_EQ(queue.Current(), queue.Head());
        }
    }
}

TEST_F(DispatcherTest, TheWaitingWarningsTheRulesDecideAreSettledAtOnce) {
    Set(kWhatDoKey, 0);
    whiteList.AddAndSave("about listed.dll");
    queue.QueueWarning(File("shown.dll"));
    queue.QueueWarning(File("a.dll"));
    queue.QueueWarning(Cookie("user@ads.txt"));
    queue.QueueWarning(File("listed.dll"));
    queue.QueueWarning(File("b.dll"));
    dispatcher.MainTimerTimer();
    ASSERT_EQ(shown.size(), 1u);

    // "Solve always" for files while shown.dll is up: the waiting files go at once (the white
    // list still drops its entry), the cookie waits for its own alert, the shown one stays.
    Set("FilesAction", 1);
    // Walked one warning per slice, as the alert window walks them between messages.
    bool allowed = true;
    const SliceBudget oneEach = [&] { return std::exchange(allowed, false); };
    TDispatcher::WaitingSettled step = dispatcher.SettleWaiting(oneEach);
    std::size_t settled = step.settled;
    int slices = 1;
    for (; !step.finished && slices < 10; ++slices) {
        allowed = true;
        step = dispatcher.SettleWaiting(oneEach, false);
        settled += step.settled;
    }
    EXPECT_EQ(slices, 4);  // the cookie, left to the user, is looked at once
    EXPECT_EQ(settled, 3u);
    EXPECT_EQ(events, (std::vector<std::string>{"alert title shown.dll", "fix a.dll", "gone a.dll", "gone listed.dll",
                                                "fix b.dll", "gone b.dll"}));
    ASSERT_EQ(queue.Count(), 2u);
    EXPECT_EQ(queue.Current(), queue.Head());
    EXPECT_EQ(queue.Head()->Name, "shown.dll");
    EXPECT_EQ(queue.Waiting().front()->Name, "user@ads.txt");
}

TEST_F(DispatcherTest, TellsEachBurstOnceWhenTheQueueIsEmpty) {
    std::vector<std::string> told;
    TDispatcher telling{{queue, whiteList, blackList, options, backuper, [](const AlertTexts&) {},
                         [&](const std::string& text) { told.push_back(text); }}};
    Set(kWhatDoKey, 1);
    for (const char* name : {"a.dll", "b.dll", "c.dll"}) queue.QueueWarning(File(name));
    for (int tick = 0; tick < 3; ++tick) telling.MainTimerTimer();
    EXPECT_TRUE(told.empty()) << "told before the burst was over";
    telling.MainTimerTimer();
    telling.MainTimerTimer();  // nothing new: nothing more to tell
    EXPECT_EQ(told, (std::vector<std::string>{"Sentrel removed 3 threats. Undo in the main window."}));

    // A dropped warning is no removed threat; what a full queue refused is told with the next.
    Set(kWhatDoKey, 2);
    queue.QueueWarning(File("dropped.dll"));
    telling.MainTimerTimer();
    telling.MainTimerTimer();
    EXPECT_EQ(told.size(), 1u);
    Set("FilesAction", 1);
    queue.QueueWarning(File("d.dll"));
    for (std::size_t i = 0; i < WarningQueue::kCapacity + 2; ++i) queue.QueueWarning(File(std::to_string(i)));
    while (!queue.Empty()) telling.MainTimerTimer();
    telling.MainTimerTimer();
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[1], "Sentrel removed 201 threats. Undo in the main window.\n"
                       "3 findings were dropped: too many warnings were waiting.");
}

TEST(BurstReport, CountsInOneMessage) {
    BurstReport burst;
    EXPECT_EQ(burst.End(0), "");
    burst.NoteRemoved();
    EXPECT_EQ(burst.End(0), "Sentrel removed 1 threat. Undo in the main window.");
    EXPECT_EQ(burst.End(1), "1 finding was dropped: too many warnings were waiting.");
    EXPECT_EQ(burst.Removed(), 0u);
}

TEST(CategoryActions, FollowTheKindsRows) {
    TempFolder folder;
    TOptions options{"options.ini", folder.Path()};
    const TBrowserSettingWarning browser(RegistryRoot::CurrentUser, "Key\\", "Start Page", "a", "b");
    SetCategoryAction(browser, 1, options);
    const TRegistyWarning registry(RegistryRoot::CurrentUser, "Key\\", "Key\\", "", "");
    SetCategoryAction(registry, 2, options);
    const TFileChangeWarning change("kernel32.dll", "C:\\WINDOWS\\system32\\kernel32.dll");
    SetCategoryAction(change, 1, options);
    SetCategoryAction(TCookieWarning("user@ads.txt"), 2, options);

    EXPECT_EQ(options.ReadInteger("BrowserSettingsAction", 0), 1);
    EXPECT_EQ(options.ReadInteger("RegistryAction", 0), 2);
    EXPECT_EQ(options.ReadInteger("AutorunAction", 0), 2);  // both are autorun warnings: the last wrote
    EXPECT_EQ(options.ReadInteger("FilesAction", 0), 1);
    EXPECT_EQ(options.ReadInteger("CookiesAction", 0), 2);
    EXPECT_EQ(options.ReadInteger("ProcessesAction", -1), -1);
    EXPECT_EQ(options.ReadInteger("FoldersAction", -1), -1);
}

TEST_F(DispatcherTest, TicksAndWalksFromAnotherThreadAreRefused) {
    Set(kWhatDoKey, 0);
    queue.QueueWarning(File("a.dll"));
    int refused = 0;
    std::thread([&] {
        for (const std::function<void()>& call : std::initializer_list<std::function<void()>>{
                 [&] { dispatcher.MainTimerTimer(); }, [&] { dispatcher.SettleWaiting(); }}) {
            try {
                call();
            } catch (const std::logic_error&) {
                ++refused;
            }
        }
    }).join();
    EXPECT_EQ(refused, 2);
    EXPECT_TRUE(shown.empty());
    dispatcher.MainTimerTimer();  // the window thread's tick goes on
    EXPECT_EQ(shown.size(), 1u);
}

WarningTexts CalmTexts(const TWarning& warning) {
    return {.title = "title " + warning.Name, .description = "about " + warning.Name, .picture = "what"};
}

TEST(DispatcherTexts, TheReasonsAndTheCommandFollowTheDescriptionAndAMaliciousHostMakesItRed) {
    constexpr WarningKind kCalm{.name = "FakeCalm", .categories = {kAutorunCategory}, .fix = &FixFake, .texts = &CalmTexts};
    Fake warning(kCalm, "x");
    warning.MakeTexts();
    AlertTexts texts = TDispatcher::PrepareTexts(warning);
    EXPECT_EQ(texts.danger, "");
    EXPECT_EQ(texts.reasons, "");
    warning.Command = "C:\\Tools\\x.exe /quiet";
    warning.DangerReasons = {"one", "two", "three", "four"};
    texts = TDispatcher::PrepareTexts(warning);
    EXPECT_EQ(texts.description, "about x");  // the lists still match what they held
    EXPECT_EQ(texts.reasons, "Why it looks dangerous: one; two; three");
    EXPECT_EQ(texts.command, "C:\\Tools\\x.exe /quiet");
    EXPECT_EQ(texts.danger, "");
    warning.MaliciousHost = "bad.example";
    EXPECT_EQ(TDispatcher::PrepareTexts(warning).danger, "_red");
}

}  // namespace
}  // namespace sentrel
