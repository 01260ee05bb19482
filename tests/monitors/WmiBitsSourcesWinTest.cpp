// The WMI subscription and background transfer sources, fed listings as the system would give
// them, through the autostart monitor: a new entry is reported once with what it runs, a change of
// what runs is reported and one of a job's name alone is not; and what this system (Wine) answers
// when they are really listed.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <windows.h>
#include <wbemcli.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "monitors/AutostartMonitor.h"
#include "monitors/WmiBitsSources.h"
#include "platform/ProgramFolder.h"
#include "platform/Win32Error.h"
#include "support/TempFolder.h"
#include "warnings/Warning.h"
#include "warnings/WarningSink.h"
#include "warnings/WmiBitsWarnings.h"

namespace sentrel {
namespace {

using ::testing::HasSubstr;

class Sink final : public WarningSink {
public:
    void QueueWarning(std::unique_ptr<TWarning> warning) override { warnings.push_back(std::move(warning)); }
    bool HasRoom() const override { return true; }
    std::vector<std::unique_ptr<TWarning>> warnings;
};

// Lists at once on the calling thread, so that each pass takes what the one before listed.
AutostartRunner RightAway() {
    return [](std::function<void()> work, std::function<void()> finish) {
        work();
        finish();
    };
}

const std::vector<AutostartPoint> kPoints = ParseAutostartPoints(
    "wmi | root\\subscription | | the WMI event subscriptions\nbits | your jobs | | your background transfers\n", {});

platform::WmiSubscription Subscription(const std::string& name, const std::string& command, const std::string& query) {
    const std::string consumer = "CommandLineEventConsumer.Name=\"" + name + "\"";
    const std::string filter = "__EventFilter.Name=\"" + name + "Filter\"";
    return {{"CommandLineEventConsumer", consumer, {{"CommandLineTemplate", 's', CIM_STRING, command}, {"Name", 's', CIM_STRING, name}}},
            {"__EventFilter", filter, {{"Query", 's', CIM_STRING, query}, {"QueryLanguage", 's', CIM_STRING, "WQL"}}},
            {"__FilterToConsumerBinding",
             "__FilterToConsumerBinding.Consumer=\"" + consumer + "\",Filter=\"" + filter + "\"",
             {{"Consumer", 's', CIM_REFERENCE, consumer}, {"Filter", 's', CIM_REFERENCE, filter}}}};
}

// How many warnings three passes of the monitor queue: a listing is taken by the pass after the one
// that started it, so a change is met by the second and would be met again by the third.
std::size_t NewWarningsInThreePasses(AutostartMonitor& monitor, Sink& sink) {
    const std::size_t before = sink.warnings.size();
    for (int pass = 0; pass < 3; ++pass) monitor.Slice(sink, WholePass());
    return sink.warnings.size() - before;
}

TEST(WmiBitsSources, ASubscriptionNewOrRunningSomethingElseIsReportedOnce) {
    test::TempFolder folder;
    const std::string query = "SELECT * FROM __InstanceModificationEvent WITHIN 60 WHERE TargetInstance ISA "
                              "'Win32_PerfFormattedData_PerfOS_System'";
    std::vector<platform::WmiSubscription> listing = {Subscription("Inventory", "C:\\inv\\scan.exe", query)};
    AutostartMonitor monitor(folder / "baseline.txt", {});
    monitor.AddSource(MakeWmiSubscriptionsSource(kPoints, monitor.Gate(), RightAway(), 0, ListWmiHere([&] { return listing; })));
    Sink sink;
    EXPECT_EQ(NewWarningsInThreePasses(monitor, sink), 0u);  // what is there at the first start is known

    listing.push_back(Subscription("Updater", "C:\\x\\y.exe -z", query));
    ASSERT_EQ(NewWarningsInThreePasses(monitor, sink), 1u);
    auto& added = dynamic_cast<WmiSubscriptionWarning&>(*sink.warnings.back());
    added.MakeTexts();
    EXPECT_EQ(added.Name, "Updater");
    EXPECT_EQ(added.ConsumerPath, "CommandLineEventConsumer.Name=\"Updater\"");
    EXPECT_THAT(added.GetDescription(),
                HasSubstr("A WMI event subscription was added: Updater runs C:\\x\\y.exe -z when: " + query));

    // The same filter bound to the consumer again is one entry; its new program is a change.
    listing[1] = Subscription("Updater", "C:\\x\\other.exe", query);
    ASSERT_EQ(NewWarningsInThreePasses(monitor, sink), 1u);
    auto& changed = dynamic_cast<WmiSubscriptionWarning&>(*sink.warnings.back());
    changed.MakeTexts();
    EXPECT_TRUE(changed.Changed);
    EXPECT_THAT(changed.GetDescription(), HasSubstr("it ran C:\\x\\y.exe -z when: " + query +
                                                    " before, and runs C:\\x\\other.exe when: "));
}

TEST(WmiBitsSources, AJobIsReportedByItsCommandNotByItsNameAndAMissingServiceIsTriedOnce) {
    test::TempFolder folder;
    platform::BitsJob job{"{6A1F0C2E-0000-4000-8000-000000000001}", "Updates", 0, 3, "C:\\u\\run.exe",
                          "run.exe /now", {{"http://example.com/a.bin", "C:\\u\\a.bin"}}};
    std::vector<platform::BitsJob> listing;
    AutostartMonitor monitor(folder / "baseline.txt", {});
    monitor.AddSource(MakeBitsJobsSource(kPoints, monitor.Gate(), RightAway(), 0, ListBitsHere([&] { return listing; })));
    int wmiListings = 0;
    monitor.AddSource(MakeWmiSubscriptionsSource(kPoints, monitor.Gate(), RightAway(), 0,
                                                 ListWmiHere([&]() -> std::vector<platform::WmiSubscription> {
                                                     ++wmiListings;
                                                     throw platform::Win32Error(
                                                         "ConnectServer", static_cast<DWORD>(WBEM_E_INVALID_NAMESPACE));
                                                 })));
    Sink sink;
    EXPECT_EQ(NewWarningsInThreePasses(monitor, sink), 0u);

    listing = {job};
    ASSERT_EQ(NewWarningsInThreePasses(monitor, sink), 1u);
    auto& added = dynamic_cast<BitsJobWarning&>(*sink.warnings.back());
    added.MakeTexts();
    EXPECT_EQ(added.JobId, job.id);
    EXPECT_THAT(added.GetDescription(), HasSubstr("\"Updates\" runs C:\\u\\run.exe run.exe /now; it transfers "
                                                  "http://example.com/a.bin."));

    listing[0].displayName = "Renamed";
    listing[0].files.push_back({"http://example.com/b.bin", "C:\\u\\b.bin"});
    EXPECT_EQ(NewWarningsInThreePasses(monitor, sink), 0u);
    listing[0].notifyParameters = "run.exe /evil";
    ASSERT_EQ(NewWarningsInThreePasses(monitor, sink), 1u);
    EXPECT_TRUE(dynamic_cast<BitsJobWarning&>(*sink.warnings.back()).Changed);

    EXPECT_EQ(wmiListings, 1);  // a system without root\subscription is not asked again
}

// What the system really answers: a listing, or an error that says it lacks the service (logged,
// and the rows stay empty); anything else would be reported as a failure at every listing.
TEST(WmiBitsReaders, ListOrSayTheSystemLacksThem) {
    try {
        const auto subscriptions = platform::ListWmiSubscriptions();
        std::cout << "WMI subscriptions listed: " + std::to_string(subscriptions.size()) << "\n";
    } catch (const platform::Win32Error& error) {
        std::cout << std::string("WMI subscriptions: ") + error.what() << "\n";
        EXPECT_TRUE(platform::IsWmiMissing(error.Code())) << error.what();
    }
    try {
        const auto jobs = platform::ListBitsJobsWithCommands();
        std::cout << "BITS jobs listed: " + std::to_string(jobs.size()) << "\n";
    } catch (const platform::Win32Error& error) {
        std::cout << std::string("BITS jobs: ") + error.what() << "\n";
        const DWORD code = error.Code();
        EXPECT_TRUE(code == static_cast<DWORD>(E_NOTIMPL) || code == static_cast<DWORD>(E_NOINTERFACE) ||
                    code == static_cast<DWORD>(REGDB_E_CLASSNOTREG))
            << error.what();
    }
}

// The shield's helper process lists what a listing here lists, or fails with the same code; a
// job made for the test is among the helper's entries as among these.
TEST(WmiBitsReaders, TheHelperProcessListsWhatAListingHereLists) {
    const std::string program = platform::ProgramFolder() + "Sentrel4.exe";  // the build puts it beside the tests
    test::TempFolder folder;
    std::string madeJob;
    try {
        madeJob = platform::CreateBitsJob({"", "Sentrel helper test job", 0, 3, "C:\\windows\\notepad.exe",
                                           "notepad.exe /p x", {{"http://127.0.0.1:9/none.bin", folder / "none.bin"}}});
    } catch (const platform::Win32Error& error) {
        std::cout << "no job made for the comparison: " << error.what() << "\n";
    }
    for (const AutostartPointKind kind : {AutostartPointKind::WmiSubscriptions, AutostartPointKind::BitsJobs}) {
        SCOPED_TRACE(AutostartKindWord(kind));
        const ServiceEntriesLister here =
            kind == AutostartPointKind::BitsJobs ? ListBitsHere() : ListWmiHere();
        const ServiceEntriesLister helper = ListInHelper(program, kind);
        std::optional<std::vector<AutostartEntry>> listedHere;
        DWORD codeHere = 0;
        try {
            listedHere = here();
        } catch (const platform::Win32Error& error) {
            codeHere = error.Code();
        }
        try {
            const std::vector<AutostartEntry> listed = helper();
            ASSERT_TRUE(listedHere) << "the helper listed what could not be listed here (code " << codeHere << ")";
            EXPECT_EQ(listed, *listedHere);
            if (kind == AutostartPointKind::BitsJobs && !madeJob.empty()) {
                EXPECT_TRUE(std::any_of(listed.begin(), listed.end(),
                                        [&](const AutostartEntry& entry) { return entry.item == madeJob; }));
            }
        } catch (const platform::Win32Error& error) {
            std::cout << AutostartKindWord(kind) << " through the helper: " << error.what() << "\n";
            EXPECT_FALSE(listedHere) << "the helper failed where a listing here did not: " << error.what();
            EXPECT_EQ(error.Code(), codeHere) << error.what();
        }
    }
    if (!madeJob.empty()) platform::CancelBitsJob(madeJob);
}

// A job as the undo makes it again is listed with its command, and the fix's cancel ends it.
TEST(WmiBitsReaders, AJobMadeAgainIsListedWithItsCommandUntilCancelled) {
    test::TempFolder folder;
    platform::BitsJob wanted{"", "Sentrel test job", 0, 3, "C:\\windows\\notepad.exe", "notepad.exe /p x",
                             {{"http://127.0.0.1:9/none.bin", folder / "none.bin"}}};
    std::string id;
    try {
        id = platform::CreateBitsJob(wanted);
    } catch (const platform::Win32Error& error) {
        GTEST_SKIP() << "this system cannot make such a job: " << error.what();
    }
    const auto listed = platform::ListBitsJobsWithCommands();
    const auto job = std::find_if(listed.begin(), listed.end(), [&](const platform::BitsJob& one) { return one.id == id; });
    ASSERT_NE(job, listed.end());
    wanted.id = id;
    EXPECT_EQ(*job, wanted);
    EXPECT_TRUE(platform::CancelBitsJob(id));
    EXPECT_FALSE(platform::ReadBitsJob(id));
    EXPECT_FALSE(platform::CancelBitsJob(id));
}

}  // namespace
}  // namespace sentrel
