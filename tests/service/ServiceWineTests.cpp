// CServiceMngr against Wine's own service control manager and the stand-in
// service, installed from a folder whose path holds a space.
#include <gtest/gtest.h>

#include "ServiceFacts.h"
#include "TestSupport.h"
#include "appctl/Product.h"
#include "service/ServiceMngr.h"

namespace {

class ServiceOnWineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mngr.Init(g_szServiceName, g_szServiceDisplayName, g_szServiceDescription);
        ASSERT_TRUE(mngr.Remove(10000)) << "a QuorvaneSvc service is left over and cannot be removed";
        ASSERT_TRUE(kvtest::CopyInto(kvtest::BinDir() + L"QuorvaneSvc.exe", exe));
    }
    void TearDown() override { EXPECT_TRUE(mngr.Remove(10000)); }

    CServiceMngr mngr;
    kvtest::CScratchDir dir{L"kv svc"};
    std::wstring exe = dir / L"QuorvaneSvc.exe";
};

TEST_F(ServiceOnWineTest, InstallsStartsStopsAndRemovesTheService)
{
    ASSERT_TRUE(kvtest::WriteServiceScript(dir.Path(),
                                           "[Start]\r\nPendingMs=1500\r\nCheckpoints=3\r\nWaitHint=2000\r\n"
                                           "[Stop]\r\nPendingMs=1200\r\nWaitHint=400\r\n"));
    ASSERT_TRUE(mngr.Install(exe.c_str()));
    kvtest::SERVICE_FACTS facts = kvtest::QueryServiceFacts(g_szServiceName);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), facts.dwType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), facts.dwStartType);
    EXPECT_EQ(L"\"" + exe + L"\"", facts.binaryPath);
    EXPECT_EQ(L"LocalSystem", facts.account);
    EXPECT_EQ(g_szServiceDisplayName, facts.displayName);
    EXPECT_EQ(g_szServiceDescription, facts.description);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), facts.dwState);

    EXPECT_TRUE(mngr.Install(L"C:\\Elsewhere\\QuorvaneSvc.exe"));
    EXPECT_EQ(L"\"" + exe + L"\"", kvtest::QueryServiceFacts(g_szServiceName).binaryPath);

    EXPECT_TRUE(mngr.Start());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), kvtest::QueryServiceFacts(g_szServiceName).dwState);
    EXPECT_TRUE(mngr.IsRunning());
    EXPECT_TRUE(mngr.Start()) << "a running service counts as started";

    EXPECT_TRUE(mngr.Stop(5000));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), kvtest::QueryServiceFacts(g_szServiceName).dwState);
    EXPECT_TRUE(mngr.Stop(5000)) << "a stopped service counts as stopped";
    EXPECT_FALSE(mngr.IsRunning());

    EXPECT_TRUE(mngr.Remove(5000));
    EXPECT_FALSE(mngr.IsInstalled());
    EXPECT_FALSE(kvtest::QueryServiceFacts(g_szServiceName).bExists);
    EXPECT_FALSE(mngr.Stop(5000)) << "no service, no stop";
}

TEST_F(ServiceOnWineTest, StartThatEndsStoppedPrintsItsErrorLine)
{
    ASSERT_TRUE(
        kvtest::WriteServiceScript(dir.Path(), "[Start]\r\nPendingMs=1200\r\nWaitHint=3000\r\nResult=stopped\r\n"));
    ASSERT_TRUE(mngr.Install(exe.c_str()));
    kvtest::CStdoutCapture capture;
    EXPECT_FALSE(mngr.Start());
    EXPECT_EQ("Error:Unable to start the service.", capture.Finish());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), kvtest::QueryServiceFacts(g_szServiceName).dwState);
}

}  // namespace
