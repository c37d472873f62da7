#include "support/VersionInfo.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace fk {

// The built tool carries its version block: the reader finds it in the real executable, and
// `ferrovan --version` prints what it says.
TEST(ToolVersion, TheBuiltExecutableCarriesItsVersionBlock)
{
    TFileVersionInfo info(FK_FERROVAN_PATH);
    ASSERT_FALSE(info.Data().empty());
    ASSERT_TRUE(info.FixedInfo());
    EXPECT_EQ(info.Strings[TVersionInfo::siProductName], "Ferrovan-Kest");
    EXPECT_EQ(info.Strings[TVersionInfo::siOriginalFileName], "ferrovan");
    EXPECT_EQ(info.Strings[TVersionInfo::siCompanyName], "NORDVEL");
    EXPECT_FALSE(info.Strings[TVersionInfo::siProductVersion].empty());
    EXPECT_EQ(info.InstanceName, TFileVersionInfo::MakeInstanceName(info.Strings));

    QProcess p;
    p.start(FK_FERROVAN_PATH, { "--version" });
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.readAllStandardOutput().toStdString(), info.ProductAndVersion() + "\n");
    EXPECT_EQ(info.ProductAndVersion().rfind("Ferrovan-Kest ", 0), 0u);

    // This test program itself has no block: nothing is made up for it.
    TFileVersionInfo self;
    EXPECT_TRUE(self.Data().empty());
    EXPECT_EQ(self.ProductAndVersion(), "");
}

} // namespace fk
