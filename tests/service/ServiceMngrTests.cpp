// CServiceMngr and the stop functions against a scripted service control
// manager and the fake clock: dependents, a lock held by another process,
// long starts and stops, all of which Wine's own manager cannot show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeClock.h"
#include "FakeScm.h"
#include "TestSupport.h"
#include "appctl/Product.h"
#include "base/Clock.h"
#include "service/ServiceMngr.h"

namespace {

using kvtest::Becomes;
using kvtest::FAKE_SERVICE;
using kvtest::FAKE_STATUS;
using kvtest::FAKE_TIMELINE;
using kvtest::Steady;
using Calls = std::vector<std::wstring>;

const DWORD kHour = 3600000;
const std::wstring kSvc = g_szServiceName;

class ServiceMngrTest : public ::testing::Test {
protected:
    void SetUp() override { mngr.Init(g_szServiceName, g_szServiceDisplayName, g_szServiceDescription); }
    void TearDown() override { EXPECT_EQ(0, scm.OpenHandles()) << "a handle was left open"; }

    kvtest::CFakeClock clock;
    kvtest::CFakeScm scm;
    CServiceMngr mngr;
};

TEST_F(ServiceMngrTest, InitKeepsTheTextsGivenAndAnswersForTheTwoNames)
{
    const std::wstring longName(300, L'n');
    struct CASE {
        const wchar_t* szName;
        const wchar_t* szDisplay;
        const wchar_t* szDescription;
        BOOL bResult;
        std::wstring name, display, description;
    } cases[] = {
        {L"Svc", L"Display", L"About", TRUE, L"Svc", L"Display", L"About"},
        {L"Svc", nullptr, L"About", FALSE, L"Svc", L"", L"About"},
        {L"Svc", L"Display", nullptr, TRUE, L"Svc", L"Display", L""},
        {L"Svc", L"", L"", TRUE, L"Svc", L"", L""},
        {longName.c_str(), L"Display", L"About", TRUE, longName.substr(0, 255), L"Display", L"About"},
    };
    for (const CASE& c : cases) {
        kvtest::CFakeScm fresh;
        CServiceMngr other;
        other.Init(L"Before", L"Before", L"Before");
        EXPECT_EQ(c.bResult, other.Init(c.szName, c.szDisplay, c.szDescription)) << c.name;
        ASSERT_TRUE(other.Install(L"C:\\Svc\\Svc.exe"));
        EXPECT_EQ(c.name, fresh.created.name);
        EXPECT_EQ(c.display, fresh.created.displayName);
        EXPECT_EQ(c.description, fresh.descriptions[c.name]);
    }
}

TEST_F(ServiceMngrTest, InstallCreatesTheServiceWithAQuotedPathWhereItHasASpace)
{
    struct CASE {
        const wchar_t* szCommandLine;
        const wchar_t* szCreated;
    } cases[] = {
        {L"C:\\Program Files\\Talwick\\Quorvane 2012\\QuorvaneSvc.exe",
         L"\"C:\\Program Files\\Talwick\\Quorvane 2012\\QuorvaneSvc.exe\""},
        {L"C:\\Apps\\QuorvaneSvc.exe", L"C:\\Apps\\QuorvaneSvc.exe"},
        {L"\"C:\\Program Files\\Svc.exe\"", L"\"C:\\Program Files\\Svc.exe\""},
        {L"QuorvaneSvc.exe", L"QuorvaneSvc.exe"},
    };
    for (const CASE& c : cases) {
        kvtest::CFakeScm fresh;
        ASSERT_TRUE(mngr.Install(c.szCommandLine)) << c.szCommandLine;
        EXPECT_EQ(c.szCreated, fresh.created.binaryPath);
        EXPECT_EQ(std::wstring(g_szServiceDisplayName), fresh.created.displayName);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), fresh.created.dwType);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), fresh.created.dwStart);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), fresh.created.dwErrorControl);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_CHANGE_CONFIG), fresh.created.dwAccess);
        EXPECT_TRUE(fresh.created.bNullAccount) << "runs as LocalSystem";
        EXPECT_TRUE(fresh.created.bNullDependencies);
        EXPECT_EQ(std::wstring(g_szServiceDescription), fresh.descriptions[kSvc]);
        EXPECT_EQ(0, fresh.OpenHandles());
    }
}

TEST_F(ServiceMngrTest, InstallLeavesAnExistingServiceUntouched)
{
    scm.Add(kSvc, Steady(SERVICE_RUNNING));
    EXPECT_TRUE(mngr.Install(L"C:\\Other Place\\QuorvaneSvc.exe"));
    EXPECT_EQ(Calls({L"manager f003f", L"open QuorvaneSvc 1", L"close QuorvaneSvc", L"close manager"}), scm.log);
}

TEST_F(ServiceMngrTest, InstallAnswersForTheCreationNotForTheDescription)
{
    scm.dwDescribeError = ERROR_ACCESS_DENIED;
    EXPECT_TRUE(mngr.Install(L"C:\\Apps\\QuorvaneSvc.exe"));
    EXPECT_TRUE(scm.Exists(kSvc));

    kvtest::CFakeScm refusing;
    refusing.dwCreateError = ERROR_SERVICE_MARKED_FOR_DELETE;
    EXPECT_FALSE(mngr.Install(L"C:\\Apps\\QuorvaneSvc.exe"));

    // A path that cannot be quoted in the command line's room is not cut.
    kvtest::CFakeScm roomless;
    std::wstring longPath = L"C:\\A Folder\\" + std::wstring(275, L'x') + L".exe";
    EXPECT_FALSE(mngr.Install(longPath.c_str()));
    EXPECT_TRUE(roomless.Calls({L"create"}).empty());
}

TEST_F(ServiceMngrTest, SetDescriptionTakesTheLockOrGoesOnWhenAnotherProcessHoldsIt)
{
    struct CASE {
        DWORD dwLockError;
        DWORD dwLockStatusError;
        BOOL bResult;
        Calls calls;
    } cases[] = {
        {ERROR_SUCCESS,
         ERROR_SUCCESS,
         TRUE,
         {L"manager f0038", L"lock", L"open QuorvaneSvc 2", L"describe QuorvaneSvc", L"unlock", L"close QuorvaneSvc",
          L"close manager"}},
        {ERROR_SERVICE_DATABASE_LOCKED,
         ERROR_SUCCESS,
         TRUE,
         {L"manager f0038", L"lock", L"lockstatus", L"open QuorvaneSvc 2", L"describe QuorvaneSvc",
          L"close QuorvaneSvc", L"close manager"}},
        {ERROR_SERVICE_DATABASE_LOCKED,
         ERROR_ACCESS_DENIED,
         FALSE,
         {L"manager f0038", L"lock", L"lockstatus", L"close manager"}},
        {ERROR_ACCESS_DENIED, ERROR_SUCCESS, FALSE, {L"manager f0038", L"lock", L"close manager"}},
    };
    for (const CASE& c : cases) {
        kvtest::CFakeScm fresh;
        fresh.Add(kSvc);
        fresh.dwLockError = c.dwLockError;
        fresh.dwLockStatusError = c.dwLockStatusError;
        EXPECT_EQ(c.bResult, mngr.SetDescription(L"About")) << c.dwLockError << " " << c.dwLockStatusError;
        EXPECT_EQ(c.calls, fresh.log);
    }
}

TEST_F(ServiceMngrTest, StartAnswersAndPrintsByHowTheStartEnds)
{
    struct CASE {
        const char* szWhat;
        bool bInstalled;
        DWORD dwStartError;
        FAKE_TIMELINE onStart;
        int nFailManagerOpen;
        DWORD dwDeniedAccess;
        BOOL bResult;
        const char* szOutput;
    } cases[] = {
        {"runs", true, 0, Becomes(SERVICE_START_PENDING, 2000, SERVICE_RUNNING, 1500), 0, 0, TRUE, ""},
        {"ends stopped", true, 0, Becomes(SERVICE_START_PENDING, 2000, SERVICE_STOPPED, 1500), 0, 0, FALSE,
         "Error:Unable to start the service."},
        {"already running", true, ERROR_SERVICE_ALREADY_RUNNING, {}, 0, 0, TRUE, ""},
        {"refused", true, ERROR_SERVICE_DISABLED, {}, 0, 0, FALSE, "Error:Unable to start the service."},
        {"not installed", false, 0, {}, 0, 0, FALSE, ""},
        {"no full rights", true, 0, {}, 1, 0, FALSE, ""},
        {"manager refused", true, 0, {}, 2, 0, FALSE, "Error:Unable to open the service manager."},
        {"service refused", true, 0, {}, 0, SERVICE_START, FALSE, "Error:Unable to open the service."},
    };
    for (const CASE& c : cases) {
        kvtest::CFakeScm fresh;
        if (c.bInstalled) {
            FAKE_SERVICE& service = fresh.Add(kSvc);
            service.onStart = c.onStart;
            service.dwStartError = c.dwStartError;
            service.dwDeniedAccess = c.dwDeniedAccess;
        }
        fresh.nFailManagerOpen = c.nFailManagerOpen;
        kvtest::CStdoutCapture capture;
        EXPECT_EQ(c.bResult, mngr.Start()) << c.szWhat;
        EXPECT_EQ(c.szOutput, capture.Finish()) << c.szWhat;
        if (c.dwStartError == ERROR_SERVICE_ALREADY_RUNNING) {
            EXPECT_EQ(0, fresh.Queries()) << "no wait for a service that runs";
        }
        EXPECT_EQ(0, fresh.OpenHandles()) << c.szWhat;
    }
}

// The polls of a start wait: a tenth of the hint within 1 to 10 seconds, a
// time-out of one hint, at most ten minutes, counted from the last progress,
// and no overall limit. Each poll interval is slept in slices of 100 ms.
TEST_F(ServiceMngrTest, StartWaitPollsByTheHintAndCountsFromTheLastProgress)
{
    // A checkpoint every 2500 ms against a hint of 3000: a time-out counted
    // from the start instead of the last progress gives up after 3 seconds.
    FAKE_TIMELINE progress;
    for (DWORD i = 0; i < 24; ++i)
        progress.push_back({i * 2500, 0, SERVICE_START_PENDING, i + 1, 3000});
    progress.push_back({60000, 0, SERVICE_RUNNING, 0, 0});

    // The largest hint and a checkpoint every nine minutes up to minute 27:
    // each progress gives ten minutes more, then the start runs or stalls.
    const DWORD kNineMinutes = 9 * 60000;
    FAKE_TIMELINE slowProgress, slowStall;
    for (DWORD i = 0; i < 4; ++i)
        slowProgress.push_back({i * kNineMinutes, 0, SERVICE_START_PENDING, i + 1, 0xFFFFFFFF});
    slowStall = slowProgress;
    slowProgress.push_back({4 * kNineMinutes, 0, SERVICE_RUNNING, 0, 0});

    struct CASE {
        const char* szWhat;
        FAKE_TIMELINE timeline;
        BOOL bRunning;
        int nSleeps;
        DWORD dwSlept;
    } cases[] = {
        {"hint 0", Steady(SERVICE_START_PENDING, 0), FALSE, 10, 1000},
        {"hint 5000", Steady(SERVICE_START_PENDING, 5000), FALSE, 60, 6000},
        {"hint 20000", Steady(SERVICE_START_PENDING, 20000), FALSE, 220, 22000},
        // Ten minutes and one millisecond: the time-out is passed.
        {"hint of an hour", Steady(SERVICE_START_PENDING, kHour), FALSE, 6001, 600001},
        {"largest hint", Steady(SERVICE_START_PENDING, 0xFFFFFFFF), FALSE, 6001, 600001},
        {"largest hint, progress", slowProgress, TRUE, 21600, 4 * kNineMinutes},
        {"largest hint, progress then none", slowStall, FALSE, 22201, 3 * kNineMinutes + 600001},
        {"runs in time", Becomes(SERVICE_START_PENDING, 5000, SERVICE_RUNNING, 2500), TRUE, 25, 2500},
        {"stops", Becomes(SERVICE_START_PENDING, 5000, SERVICE_STOPPED, 1000), FALSE, 10, 1000},
        {"a minute of progress", progress, TRUE, 600, 60000},
        {"already running", Steady(SERVICE_RUNNING), TRUE, 0, 0},
    };
    // From an ordinary tick, and from one just before the tick count wraps.
    for (bool bNearWrap : {false, true}) {
        for (const CASE& c : cases) {
            if (bNearWrap)
                ClockSleep(static_cast<DWORD>(0u - 2500u) - ClockTickCount());
            scm.Add(kSvc, c.timeline);
            int nSleeps = clock.Sleeps();
            DWORD dwSlept = clock.Slept();
            EXPECT_EQ(c.bRunning, mngr.IsRunning()) << c.szWhat << (bNearWrap ? ", near the wrap" : "");
            EXPECT_EQ(c.nSleeps, clock.Sleeps() - nSleeps) << c.szWhat << (bNearWrap ? ", near the wrap" : "");
            EXPECT_EQ(c.dwSlept, clock.Slept() - dwSlept) << c.szWhat << (bNearWrap ? ", near the wrap" : "");
        }
    }
}

// However long the hint, and whichever wait it is, the new state is seen
// within 100 ms of the change.
TEST_F(ServiceMngrTest, EveryWaitSeesAStateChangeWithin100Ms)
{
    const DWORD kChangeMs = 2345;
    struct CASE {
        const char* szWhat;
        bool bStart;  // Start(), else Stop(5000)
        FAKE_TIMELINE timeline;
        FAKE_TIMELINE onRequest;        // after the start or stop request
        FAKE_TIMELINE dependentOnStop;  // empty: no dependent
        BOOL bResult;
    } cases[] = {
        {"start runs",
         true,
         Steady(SERVICE_STOPPED),
         Becomes(SERVICE_START_PENDING, 30000, SERVICE_RUNNING, kChangeMs),
         {},
         TRUE},
        {"start ends stopped",
         true,
         Steady(SERVICE_STOPPED),
         Becomes(SERVICE_START_PENDING, 30000, SERVICE_STOPPED, kChangeMs),
         {},
         FALSE},
        {"stop under way", false, Becomes(SERVICE_STOP_PENDING, 4000, SERVICE_STOPPED, kChangeMs), {}, {}, TRUE},
        {"stop requested",
         false,
         Steady(SERVICE_RUNNING),
         Becomes(SERVICE_STOP_PENDING, 4000, SERVICE_STOPPED, kChangeMs),
         {},
         TRUE},
        {"dependent", false, Steady(SERVICE_RUNNING), Steady(SERVICE_STOPPED),
         Becomes(SERVICE_STOP_PENDING, 2900, SERVICE_STOPPED, kChangeMs), TRUE},
    };
    for (const CASE& c : cases) {
        kvtest::CFakeScm fresh;
        FAKE_SERVICE& service = fresh.Add(kSvc, c.timeline);
        (c.bStart ? service.onStart : service.onStop) = c.onRequest;
        if (!c.dependentOnStop.empty()) {
            service.dependents = {L"Dep"};
            fresh.Add(L"Dep", Steady(SERVICE_RUNNING)).onStop = c.dependentOnStop;
        }
        kvtest::CStdoutCapture capture;
        DWORD dwStart = ClockTickCount();
        EXPECT_EQ(c.bResult, c.bStart ? mngr.Start() : mngr.Stop(5000)) << c.szWhat;
        DWORD dwElapsed = ClockTickCount() - dwStart;
        capture.Finish();
        EXPECT_GE(dwElapsed, kChangeMs) << c.szWhat;
        EXPECT_LE(dwElapsed, kChangeMs + 100) << c.szWhat;
        EXPECT_EQ(0, fresh.OpenHandles()) << c.szWhat;
    }
}

TEST_F(ServiceMngrTest, StopSendsNothingToAServiceAlreadyStoppedOrStopping)
{
    struct CASE {
        const char* szWhat;
        FAKE_TIMELINE timeline;
        BOOL bResult;
    } cases[] = {
        {"stopped", Steady(SERVICE_STOPPED), TRUE},
        {"stopping in time", Becomes(SERVICE_STOP_PENDING, 1000, SERVICE_STOPPED, 2500), TRUE},
        {"stopping too long", Becomes(SERVICE_STOP_PENDING, 1000, SERVICE_STOPPED, 9000), FALSE},
    };
    for (const CASE& c : cases) {
        kvtest::CFakeScm fresh;
        fresh.Add(kSvc, c.timeline).dependents = {L"Dep"};
        fresh.Add(L"Dep", Steady(SERVICE_RUNNING));
        EXPECT_EQ(c.bResult, mngr.Stop(5000)) << c.szWhat;
        EXPECT_TRUE(fresh.Calls({L"enum", L"stop"}).empty()) << c.szWhat;
        EXPECT_EQ(0, fresh.OpenHandles());
    }
}

TEST_F(ServiceMngrTest, StopOfAServiceNotInstalledFailsAndItsRemovalSucceeds)
{
    EXPECT_FALSE(mngr.Stop(5000));
    EXPECT_TRUE(mngr.Remove(5000));
    EXPECT_TRUE(scm.Calls({L"stop", L"delete"}).empty());
}

TEST_F(ServiceMngrTest, StopWaitsByTheServiceHintWithinTheTimeOut)
{
    // One query per slice of 100 ms, and one more for the millisecond past
    // the time-out.
    struct CASE {
        const char* szWhat;
        FAKE_TIMELINE onStop;
        DWORD dwStopError;
        BOOL bResult;
        int nQueriesAfterStop;
        DWORD dwMaxElapsed;
    } cases[] = {
        {"stops", Becomes(SERVICE_STOP_PENDING, 500, SERVICE_STOPPED, 1800), 0, TRUE, 18, 2000},
        {"stopped in the answer", Steady(SERVICE_STOPPED), 0, TRUE, 0, 0},
        {"refused", {}, ERROR_DEPENDENT_SERVICES_RUNNING, FALSE, 0, 0},
        {"never stops", Steady(SERVICE_STOP_PENDING, 700), 0, FALSE, 51, 5001},
        // A hint of an hour must not hold a stop of five seconds for an hour.
        {"hint of an hour", Steady(SERVICE_STOP_PENDING, kHour), 0, FALSE, 51, 5001},
        {"hint of an hour, stops", Becomes(SERVICE_STOP_PENDING, kHour, SERVICE_STOPPED, 2000), 0, TRUE, 20, 5001},
        // A hint of 0 polls without sleeping.
        {"hint 0", {{0, 0, SERVICE_STOP_PENDING, 1, 0}, {0, 50, SERVICE_STOPPED, 0, 0}}, 0, TRUE, 50, 0},
    };
    for (const CASE& c : cases) {
        kvtest::CFakeScm fresh;
        FAKE_SERVICE& service = fresh.Add(kSvc, Steady(SERVICE_RUNNING));
        service.onStop = c.onStop;
        service.dwStopError = c.dwStopError;
        DWORD dwStart = ClockTickCount();
        EXPECT_EQ(c.bResult, mngr.Stop(5000)) << c.szWhat;
        EXPECT_EQ(c.nQueriesAfterStop, fresh.Queries() - 1) << c.szWhat;
        EXPECT_LE(ClockTickCount() - dwStart, c.dwMaxElapsed) << c.szWhat;
        EXPECT_EQ(Calls({L"enum QuorvaneSvc", L"stop QuorvaneSvc"}), fresh.Calls({L"enum", L"stop"})) << c.szWhat;
        EXPECT_EQ(0, fresh.OpenHandles()) << c.szWhat;
    }
}

// Dependents are stopped first, in the order enumerated, with 3000 ms each,
// and all of it counts against the one time-out of the stop.
TEST_F(ServiceMngrTest, StopStopsTheDependentsFirstWithinTheOneTimeOut)
{
    struct CASE {
        DWORD dwMainStopMs;
        BOOL bResult;
    } cases[] = {{1000, TRUE}, {2000, FALSE}};
    for (const CASE& c : cases) {
        kvtest::CFakeScm fresh;
        FAKE_SERVICE& main = fresh.Add(kSvc, Steady(SERVICE_RUNNING));
        main.onStop = Becomes(SERVICE_STOP_PENDING, 250, SERVICE_STOPPED, c.dwMainStopMs);
        main.dependents = {L"Quick", L"Slow"};
        fresh.Add(L"Quick").onStop = Becomes(SERVICE_STOP_PENDING, 200, SERVICE_STOPPED, 500);
        fresh.Add(L"Slow").onStop = Steady(SERVICE_STOP_PENDING, 1000);

        DWORD dwStart = ClockTickCount();
        EXPECT_EQ(c.bResult, mngr.Stop(5000)) << c.dwMainStopMs;
        EXPECT_EQ(Calls({L"stop Quick", L"stop Slow", L"stop QuorvaneSvc"}), fresh.Calls({L"stop"}));
        EXPECT_LE(ClockTickCount() - dwStart, 5001u);
        EXPECT_EQ(0, fresh.OpenHandles());
    }
}

TEST_F(ServiceMngrTest, StopServiceByNameAnswersWithTheErrorOfItsStep)
{
    struct CASE {
        const char* szWhat;
        bool bExists;
        FAKE_TIMELINE onStop;
        DWORD dwStopError;
        DWORD dwResult;
        DWORD dwMaxElapsed;
    } cases[] = {
        {"stops", true, Becomes(SERVICE_STOP_PENDING, 400, SERVICE_STOPPED, 1000), 0, ERROR_SUCCESS, 1200},
        {"stopped in the answer", true, Steady(SERVICE_STOPPED), 0, ERROR_SUCCESS, 0},
        {"never stops", true, Steady(SERVICE_STOP_PENDING, 1000), 0, ERROR_TIMEOUT, 3001},
        {"hint of an hour", true, Steady(SERVICE_STOP_PENDING, kHour), 0, ERROR_TIMEOUT, 3001},
        {"refused", true, {}, ERROR_SERVICE_NOT_ACTIVE, ERROR_SERVICE_NOT_ACTIVE, 0},
        {"missing", false, {}, 0, ERROR_SERVICE_DOES_NOT_EXIST, 0},
    };
    for (const CASE& c : cases) {
        kvtest::CFakeScm fresh;
        if (c.bExists) {
            FAKE_SERVICE& service = fresh.Add(L"Dep", Steady(SERVICE_RUNNING));
            service.onStop = c.onStop;
            service.dwStopError = c.dwStopError;
        }
        SC_HANDLE hManager = ScmApi().pfnOpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        DWORD dwStart = ClockTickCount();
        EXPECT_EQ(c.dwResult, StopServiceByName(hManager, L"Dep", 3000)) << c.szWhat;
        EXPECT_LE(ClockTickCount() - dwStart, c.dwMaxElapsed) << c.szWhat;
        ScmApi().pfnCloseServiceHandle(hManager);
        EXPECT_EQ(0, fresh.OpenHandles()) << c.szWhat;
    }
}

TEST_F(ServiceMngrTest, StopDependentServicesWithoutDependentsOrWithAFailedEnumeration)
{
    struct CASE {
        DWORD dwEnumError;
        DWORD dwResult;
    } cases[] = {{ERROR_SUCCESS, ERROR_SUCCESS}, {ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED}};
    for (const CASE& c : cases) {
        kvtest::CFakeScm fresh;
        fresh.Add(kSvc, Steady(SERVICE_RUNNING));
        fresh.dwEnumError = c.dwEnumError;
        SC_HANDLE hManager = ScmApi().pfnOpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE hService = ScmApi().pfnOpenServiceW(hManager, g_szServiceName, SERVICE_ENUMERATE_DEPENDENTS);
        EXPECT_EQ(c.dwResult, StopDependentServices(hManager, hService));
        EXPECT_EQ(Calls({L"enum QuorvaneSvc"}), fresh.Calls({L"enum", L"stop"}));
        ScmApi().pfnCloseServiceHandle(hService);
        ScmApi().pfnCloseServiceHandle(hManager);
    }
}

TEST_F(ServiceMngrTest, RemoveStopsAndDeletesTheService)
{
    struct CASE {
        DWORD dwDeleteError;
        BOOL bResult;
    } cases[] = {{ERROR_SUCCESS, TRUE}, {ERROR_ACCESS_DENIED, FALSE}};
    for (const CASE& c : cases) {
        kvtest::CFakeScm fresh;
        fresh.Add(kSvc, Steady(SERVICE_RUNNING));
        fresh.dwDeleteError = c.dwDeleteError;
        EXPECT_EQ(c.bResult, mngr.Remove(5000));
        EXPECT_EQ(Calls({L"stop QuorvaneSvc", L"open QuorvaneSvc 10000", L"delete QuorvaneSvc"}),
                  fresh.Calls({L"stop", L"open QuorvaneSvc 10000", L"delete"}));
        EXPECT_EQ(c.bResult == TRUE, !fresh.Exists(kSvc));
        EXPECT_EQ(0, fresh.OpenHandles());
    }
}

}  // namespace
