// The autostart monitor's own rules with a source the test controls: the baseline across starts,
// the full queue, the shield's own program, the gate, and a pass walked in slices.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/Files.h"
#include "monitors/AutostartMonitor.h"
#include "support/TempFolder.h"
#include "warnings/Warning.h"
#include "warnings/WarningSink.h"

namespace sentrel {
namespace {

class Sink final : public WarningSink {
public:
    void QueueWarning(std::unique_ptr<TWarning> warning) override {
        names.push_back(warning->Name);
        signatures.push_back(warning->SignatureText);
        facts.push_back(warning->ListFacts);
    }
    bool HasRoom() const override { return room; }
    std::vector<std::string> names;
    std::vector<std::string> signatures;
    std::vector<std::string> facts;
    bool room = true;
};

// Points "p0", "p1", ... of the "values" kind, holding what the test puts in `entries`; each
// finding becomes a warning named "<change> <item>".
class FakeSource final : public AutostartSource {
public:
    explicit FakeSource(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) ids.push_back("p" + std::to_string(i));
    }
    std::size_t PointCount() const override { return ids.size(); }
    const std::string& PointId(std::size_t point) const override { return ids[point]; }
    AutostartPointKind PointKind(std::size_t) const override { return AutostartPointKind::KeyValues; }
    std::optional<std::vector<AutostartEntry>> Read(std::size_t point) override {
        ++reads;
        return entries[ids[point]];
    }
    std::unique_ptr<TWarning> MakeWarning(std::size_t, const AutostartFinding& finding, bool) override {
        const char* change = finding.change == AutostartChange::Added ? "added " : "changed ";
        return std::make_unique<TFileWarning>(change + finding.entry.item, "");
    }
    std::vector<std::string> ids;
    std::map<std::string, std::vector<AutostartEntry>> entries;
    int reads = 0;
};

struct Shield {
    explicit Shield(const std::string& baseline, std::size_t points = 2) : monitor(baseline, {}) {
        auto owned = std::make_unique<FakeSource>(points);
        source = owned.get();
        monitor.AddSource(std::move(owned));
    }
    AutostartMonitor monitor;
    FakeSource* source;
};

TEST(AutostartEngine, WhatChangedWhileStoppedIsReportedOnceAndTheQueueAndTheGateAreHeeded) {
    test::TempFolder folder;
    const std::string baseline = folder / "baseline.txt";
    Sink sink;
    {
        Shield first(baseline);
        first.source->entries["p0"] = {{"Tool", "C:\\t\\tool.exe", "1:00"}};
        ASSERT_TRUE(first.monitor.Slice(sink, WholePass()));
        EXPECT_TRUE(sink.names.empty()) << "the first start reports nothing";
    }
    Shield shield(baseline);
    shield.source->entries["p0"] = {{"Tool", "C:\\t\\other.exe", "1:01"},
                                    {"Own", "\"C:\\Program Files\\Sentrel 4\\Sentrel4.exe\" /hidden", "1:02"}};
    shield.source->entries["p1"] = {{"Late", "C:\\late.exe", "1:03"}};
    // The queue is full for p1's finding: it stays unknown and comes with the next pass.
    shield.monitor.Slice(sink, [] { return false; });  // one point: p0
    EXPECT_EQ(sink.names, std::vector<std::string>{"changed Tool"});
    sink.room = false;
    shield.monitor.Slice(sink, WholePass());
    sink.room = true;
    shield.monitor.Slice(sink, WholePass());
    EXPECT_EQ(sink.names, (std::vector<std::string>{"changed Tool", "added Late"}));

    // A held point is not read; once accepted, the entry the fix or undo wrote is taken without
    // a report, but what another program added meanwhile is not.
    shield.monitor.Gate()->Hold("p1");
    shield.source->entries["p1"].push_back({"Fixed", "C:\\fix.exe", "1:04"});
    const int reads = shield.source->reads;
    shield.monitor.Slice(sink, WholePass());
    EXPECT_EQ(shield.source->reads, reads + 1);
    shield.source->entries["p1"].push_back({"Sneaky", "C:\\sneaky.exe", "1:05"});
    shield.monitor.Gate()->Accept("p1", "fixed");
    shield.monitor.Slice(sink, WholePass());
    EXPECT_EQ(sink.names, (std::vector<std::string>{"changed Tool", "added Late", "added Sneaky"}));

    // What the last pass learned is what a later start compares with.
    Shield again(baseline);
    again.source->entries = shield.source->entries;
    again.monitor.Slice(sink, WholePass());
    EXPECT_EQ(sink.names.size(), 3u);
}

// What an ordinary desktop does by itself: an updater moving its program to a new version's
// folder (in one pass, or removing the old entry a pass before writing the new one), a program's
// start switched off and on again, also across a restart. Only a move elsewhere is asked.
TEST(AutostartEngine, UpdatesAndEntriesWrittenAgainAsTheyWereAreNotAsked) {
    test::TempFolder folder;
    const std::string baseline = folder / "baseline.txt";
    Sink sink;
    std::map<std::string, std::vector<AutostartEntry>> entries;
    entries["p0"] = {{"Chat", "\"C:\\Users\\u\\AppData\\Local\\Chat\\app-1.2.3\\Chat.exe\" --hidden", "1:00"},
                     {"Sync 1.0", "C:\\Sync\\1.0\\sync.exe", "1:01"}};
    {
        Shield first(baseline);
        first.source->entries = entries;
        ASSERT_TRUE(first.monitor.Slice(sink, WholePass()));
    }
    Shield shield(baseline);
    shield.source->entries = entries;
    const auto pass = [&](std::vector<AutostartEntry> p0) {
        shield.source->entries["p0"] = std::move(p0);
        shield.monitor.Slice(sink, WholePass());
    };
    const AutostartEntry sync = entries["p0"][1];
    const AutostartEntry moved{"Chat", "\"C:\\Users\\u\\AppData\\Local\\Chat\\app-1.3.0\\Chat.exe\" --hidden", "1:02"};
    pass({moved, sync});                                                 // data replaced by the update
    pass({sync});                                                        // switched off...
    pass({moved, sync});                                                 // ...and on again
    pass({moved});                                                       // the old service/task goes,
    pass({moved, {"Sync 2.0.1", "C:\\Sync\\2.0.1\\sync.exe", "1:03"}});  // its update comes a pass later
    EXPECT_TRUE(sink.names.empty()) << sink.names.front();

    pass({{"Chat", "\"C:\\Users\\u\\AppData\\Local\\Temp\\app-1.4.0\\Chat.exe\" --hidden", "1:04"}});
    EXPECT_EQ(sink.names, std::vector<std::string>{"changed Chat"});

    // Across a restart what went is still remembered.
    Shield later(baseline);
    later.source->entries["p0"] = {{"Chat", "C:\\x.exe", "1:05"}};
    later.monitor.Slice(sink, WholePass());
    later.source->entries["p0"].push_back({"Sync 2.0.1", "C:\\Sync\\2.0.1\\sync.exe", "1:03"});
    later.monitor.Slice(sink, WholePass());
    EXPECT_EQ(sink.names, (std::vector<std::string>{"changed Chat", "changed Chat"}));
}

// A finding whose program's signer is not known yet waits for a later pass; its warning then
// tells who signed the program, outside the description the lists hold.
TEST(AutostartEngine, AFindingWaitsForItsProgramsSignerAndTellsIt) {
    test::TempFolder folder;
    const std::string baseline = folder / "baseline.txt";
    Sink sink;
    { Shield(baseline).monitor.Slice(sink, WholePass()); }
    Shield shield(baseline);
    std::map<std::string, ProgramSignature> known;
    std::vector<std::string> asked;
    shield.monitor.SetSignerLookup([&](const std::string& program) -> std::optional<ProgramSignature> {
        asked.push_back(program);
        const auto found = known.find(program);
        return found == known.end() ? std::nullopt : std::optional(found->second);
    });
    shield.source->entries["p0"] = {{"Tool", "\"C:\\t\\tool.exe\" /run", "1:00"}};
    shield.monitor.Slice(sink, WholePass());
    EXPECT_TRUE(sink.names.empty());
    EXPECT_EQ(asked, std::vector<std::string>{"C:\\t\\tool.exe"});

    known["C:\\t\\tool.exe"] = {"Example Ltd", "Program signed by Example Ltd"};
    shield.monitor.Slice(sink, WholePass());
    EXPECT_EQ(sink.names, std::vector<std::string>{"added Tool"});
    EXPECT_EQ(sink.signatures, std::vector<std::string>{"Program signed by Example Ltd"});
    // A list line of it names the point, the entry and its program, versions set aside.
    EXPECT_EQ(sink.facts, std::vector<std::string>{"autostart | p0 | Tool | C:\\t\\tool.exe"});
    shield.monitor.Slice(sink, WholePass());
    EXPECT_EQ(sink.names.size(), 1u);  // reported once
}

// An update may rename its program: quiet only where the publisher that signed the old program
// signed the new one, the rest of the command the same; asked where the old one cannot be told or
// another signed it.
TEST(AutostartEngine, AnUpdateUnderAnotherProgramNameIsQuietOnlyForTheSamePublisher) {
    test::TempFolder folder;
    const std::string baseline = folder / "baseline.txt";
    Sink sink;
    {
        Shield first(baseline);
        first.source->entries["p0"] = {{"Chat", "C:\\Chat\\1.0\\chat.exe --tray", "1:00"}};
        first.source->entries["p1"] = {{"Sync 1.0", "C:\\Sync\\1.0\\sync.exe", "1:01"}};
        first.monitor.Slice(sink, WholePass());
    }
    Shield shield(baseline);
    std::map<std::string, std::string> signers = {{"C:\\Chat\\1.0\\chat.exe", "Example Ltd"},
                                                  {"C:\\Chat\\2.0\\chat-app.exe", "Example Ltd"},
                                                  {"C:\\Sync\\2.0\\syncer.exe", "Other Inc"},
                                                  {"C:\\Sync\\1.0\\sync.exe", "Sync Corp"}};
    shield.monitor.SetSignerLookup([&](const std::string& program) -> std::optional<ProgramSignature> {
        const auto found = signers.find(program);
        if (found == signers.end()) return ProgramSignature{};
        return ProgramSignature{found->second, "Program signed by " + found->second};
    });
    shield.source->entries["p0"] = {{"Chat", "C:\\Chat\\2.0\\chat-app.exe --tray", "1:02"}};
    shield.source->entries["p1"] = {{"Sync 2.0", "C:\\Sync\\2.0\\syncer.exe", "1:03"}};
    shield.monitor.Slice(sink, WholePass());
    EXPECT_EQ(sink.names, std::vector<std::string>{"added Sync 2.0"});  // another publisher

    shield.source->entries["p0"] = {{"Chat", "C:\\Chat\\3.0\\chat-app.exe --evil", "1:04"}};
    signers["C:\\Chat\\3.0\\chat-app.exe"] = "Example Ltd";
    shield.monitor.Slice(sink, WholePass());
    EXPECT_EQ(sink.names, (std::vector<std::string>{"added Sync 2.0", "changed Chat"}));  // other arguments

    EXPECT_TRUE(IsAutostartRename(AutostartPointKind::Services, {"Svc 1.0", "\"C:\\S\\1.0\\a.exe\" /s", ""},
                                  {"Svc 1.1", "\"C:\\S\\1.1\\b.exe\" /s", ""}));
    EXPECT_FALSE(IsAutostartRename(AutostartPointKind::AutorunValues, {"A", "C:\\S\\a.exe", ""},
                                   {"A", "C:\\T\\b.exe", ""}));  // another folder
    EXPECT_FALSE(IsAutostartRename(AutostartPointKind::AutorunValues, {"A", "C:\\S\\a.exe", ""},
                                   {"A", "C:\\S\\a.exe /x", ""}));  // the same program
}

TEST(AutostartEngine, APassWalksInSlicesAndSavesTheBaselineOnlyAtItsEnd) {
    test::TempFolder folder;
    const std::string baseline = folder / "baseline.txt";
    Shield shield(baseline, 3);
    Sink sink;
    const auto oneVisit = [] { return SliceBudget([] { return false; }); };
    EXPECT_FALSE(shield.monitor.Slice(sink, oneVisit()));
    EXPECT_FALSE(shield.monitor.Slice(sink, oneVisit()));
    EXPECT_FALSE(FileExists(baseline));
    EXPECT_TRUE(shield.monitor.Slice(sink, oneVisit()));
    EXPECT_TRUE(shield.monitor.AtPassStart());
    EXPECT_TRUE(FileExists(baseline));
    EXPECT_EQ(shield.source->reads, 3);

    // Only the thread that made the monitor may walk it.
    bool refused = false;
    std::thread([&] {
        try {
            shield.monitor.Slice(sink, WholePass());
        } catch (const std::logic_error&) {
            refused = true;
        }
    }).join();
    EXPECT_TRUE(refused);
}

}  // namespace
}  // namespace sentrel
