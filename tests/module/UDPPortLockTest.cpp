// Two listeners for modules on one UDP port: the second is refused and told who holds it.
#include "ModuleTestUtil.h"
#include "module/UDPServer.h"
#include "platform/LastError.h"
#include "support/SingleInstance.h"

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fk::test {
namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(UDPPortLockTest, SecondListenerOnAPortFailsNamingThePortAndItsHolderUntilTheFirstGoes)
{
    const u16 port = FreePort();
    const std::string lockFile = SingleInstance::RuntimeFolder() + "/" + TUDPPortLock::FileName(port);
    ASSERT_FALSE(SingleInstance::RuntimeFolder().empty());
    auto first = Make<TUDPServer>();
    auto second = Make<TUDPServer>();
    first->SetDefaultPort(port);
    second->SetDefaultPort(port);
    ASSERT_TRUE(first->SetActive(true));
    EXPECT_EQ(ReadFile(lockFile), std::to_string(::getpid()) + " " + program_invocation_short_name + "\n");

    EXPECT_FALSE(second->SetActive(true));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(second->Active());
    EXPECT_EQ(second->ActivationError(), "UDP port " + std::to_string(port) + " is in use by "
                                             + program_invocation_short_name + " (process "
                                             + std::to_string(::getpid()) + ")");

    // A listener on one address does not take every address's port, and is not refused.
    auto single = Make<TUDPServer>();
    single->SetBindAddress("127.0.0.5");
    single->SetDefaultPort(port);
    EXPECT_TRUE(single->SetActive(true));

    // The port moves on with a refused listener that is still asked to listen.
    const u16 other = FreePort();
    EXPECT_TRUE(second->SetDefaultPort(other));
    EXPECT_TRUE(second->Active());
    EXPECT_TRUE(second->ActivationError().empty());
    second->SetDefaultPort(port);
    EXPECT_FALSE(second->Active());

    first->SetActive(false);
    EXPECT_FALSE(std::ifstream(lockFile).good()); // let go and removed
    ASSERT_TRUE(second->SetActive(true));
    EXPECT_TRUE(second->ActivationError().empty());
    // The holder's lock file goes with it, however it goes.
    second.reset();
    EXPECT_TRUE(first->SetActive(true));
}

} // namespace
} // namespace fk::test
