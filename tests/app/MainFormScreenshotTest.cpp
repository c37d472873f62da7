// Pictures of the main window for reviewers: disconnected, connected and uploading, in every
// skin, under <build>/screenshots/main/ (the suite runs them at 96 and at 192 dpi).
#include "AppTestHarness.h"
#include "ScreenshotUtil.h"

#include "app/Themes.h"
#include "session/FirmwareImage.h"

#include <QFileDialog>

namespace fk::test {
namespace {

class MainFormScreenshotTest : public MainFormTest {
protected:
    // One picture per skin; returns how many were written.
    int ShootEverySkin(const QString& state)
    {
        int written = 0;
        for (const QString& name : form_->Themes().Names()) {
            form_->ApplySkin(name);
            QCoreApplication::processEvents();
            QString file = state + QLatin1Char('-') + name;
            file.replace(QLatin1Char(' '), QLatin1Char('_'));
            if (!SaveScreenshot(*form_, QStringLiteral("main"), file).isEmpty())
                ++written;
        }
        form_->ApplySkin(form_->Themes().PlatformName());
        return written;
    }
    void TearDown() override
    {
        if (form_)
            form_->ApplySkin(form_->Themes().PlatformName());
        MainFormTest::TearDown();
    }
};

TEST_F(MainFormScreenshotTest, Screenshots)
{
    TSimOptions o;
    o.BlockSize = 64;
    o.Baud = 9600; // slow enough to photograph the transfer
    StartSim(o);
    MakeForm();
    const int skins = static_cast<int>(form_->Themes().Names().size());
    EXPECT_EQ(ShootEverySkin(QStringLiteral("disconnected")), skins);

    ConnectThroughWindow();
    EXPECT_EQ(ShootEverySkin(QStringLiteral("connected")), skins);

    std::vector<u8> payload(64 * 250, 0x42); // within the 256 blocks of the device
    TByteString image;
    ASSERT_TRUE(TFirmwareImage::Build(o.Identifier, payload.data(), payload.size(), image));
    const QString path = dir_.filePath(QStringLiteral("app.img"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(image.size()));
    file.close();
    form_->FirmwareFile = path.toStdString();
    QTest::mouseClick(Button(names::UploadButton), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return form_->StatusLine().ProgressPosition() >= 3; }))
        << Status().toStdString() << "\n" << LogText();
    EXPECT_EQ(ShootEverySkin(QStringLiteral("uploading")), skins);
}

} // namespace
} // namespace fk::test
