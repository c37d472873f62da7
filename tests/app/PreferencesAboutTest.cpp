#include "app/AppImages.h"
#include "app/Accelerators.h"
#include "app/FormProgInfo.h"
#include "app/FormSettings.h"
#include "app/LanguageApplier.h"
#include "app/LanguageTexts.h"
#include "support/VersionInfo.h"
#include "ScreenshotUtil.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLocale>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

namespace fk {
namespace {

// Records what the dialog tells its owner, and applies it as the main window does.
struct TOwner {
    TAppSettings applied;
    std::vector<bool> applyCalls;
    std::vector<bool> previewCalls;

    void Attach(TFormSettings& dialog)
    {
        dialog.OnApply = [this](TFormSettings* d, bool apply) {
            applyCalls.push_back(apply);
            if (apply)
                applied = d->CurrentSettings;
        };
        dialog.OnPreview = [this](TFormSettings* d, bool preview) {
            previewCalls.push_back(preview);
            applied = preview ? d->CurrentSettings : d->SavedSettings;
        };
    }
    // Opening as the main window does: both records from its settings, then the dialog's result.
    void Open(TFormSettings& dialog, const TAppSettings& settings)
    {
        dialog.SavedSettings = settings;
        dialog.SetSettings(settings);
        applied = settings;
    }
    void Close(TFormSettings& dialog, bool ok)
    {
        if (!ok)
            dialog.CurrentSettings = dialog.SavedSettings;
        applied = dialog.CurrentSettings;
    }
};

TAppSettings Settings(int language, int skin, u8 opacity, u8 options)
{
    TAppSettings s;
    s.Language = language, s.Skin = skin, s.Opacity = opacity, s.Options = options;
    return s;
}

class Preferences : public ::testing::Test {
protected:
    void SetUp() override
    {
        dialog.SetLanguages({ QStringLiteral("English"), QStringLiteral("Polish (Polski)"), QStringLiteral("Russian (Русский)") });
        dialog.SetSkins({ QStringLiteral("Fusion"), QStringLiteral("Graphite"), QStringLiteral("Ocean") });
        owner.Attach(dialog);
    }
    TFormSettings dialog;
    TOwner owner;
};

} // namespace

TEST_F(Preferences, IndexesOutOfRangeShowNoSelectionAndStayInTheRecord)
{
    owner.Open(dialog, Settings(5, -1, 200, optScreenSnap | optWasConnected));
    EXPECT_EQ(dialog.LanguageBox()->currentIndex(), -1);
    EXPECT_EQ(dialog.SkinBox()->currentIndex(), -1);
    EXPECT_EQ(dialog.CurrentSettings.Language, 5);
    EXPECT_EQ(dialog.CurrentSettings.Skin, -1);
    EXPECT_TRUE(dialog.SnapBox()->isChecked());
    EXPECT_TRUE(owner.applyCalls.empty()); // showing a record tells the owner nothing
    dialog.RememberBox()->click();
    EXPECT_EQ(dialog.CurrentSettings.Options, optScreenSnap | optWasConnected | optRememberConnection); // bits 2 and 6 pass
}

TEST_F(Preferences, ConnectAtStartupDisablesRememberWithoutChangingIt)
{
    owner.Open(dialog, Settings(0, 0, 255, optRememberConnection));
    dialog.ConnectAtStartupBox()->click();
    EXPECT_FALSE(dialog.RememberBox()->isEnabled());
    EXPECT_TRUE(dialog.RememberBox()->isChecked());
    EXPECT_TRUE(dialog.CurrentSettings.Has(optRememberConnection));
    dialog.ConnectAtStartupBox()->click();
    EXPECT_TRUE(dialog.RememberBox()->isEnabled());
    // Opened with the bit already set, the box starts disabled.
    owner.Open(dialog, Settings(0, 0, 255, optConnectAtStartup));
    EXPECT_FALSE(dialog.RememberBox()->isEnabled());
}

TEST_F(Preferences, WithoutPreviewNothingIsAppliedUntilApplyOrOk)
{
    owner.Open(dialog, Settings(0, 0, 255, 0));
    dialog.OpacityBar()->setValue(128);
    dialog.LanguageBox()->setCurrentIndex(1);
    EXPECT_EQ(owner.applied.Opacity, 255);
    EXPECT_EQ(owner.applyCalls, (std::vector<bool>{ false, false }));
    QTest::mouseClick(dialog.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(owner.applied.Opacity, 128);
    EXPECT_EQ(owner.applied.Language, 1);
    EXPECT_EQ(dialog.SavedSettings, dialog.CurrentSettings);
}

TEST_F(Preferences, PreviewAppliesAtOnceAndCancelReturnsToTheSavedCopy)
{
    owner.Open(dialog, Settings(0, 0, 255, 0));
    dialog.PreviewBox()->click();
    EXPECT_EQ(owner.previewCalls, (std::vector<bool>{ true }));
    dialog.OpacityBar()->setValue(100);
    EXPECT_EQ(owner.applied.Opacity, 100); // applied while the dialog is open
    owner.Close(dialog, false);
    EXPECT_EQ(owner.applied.Opacity, 255);
    EXPECT_FALSE(owner.applied.Has(optPreview));
}

TEST_F(Preferences, AppliedValuesSurviveCancel)
{
    owner.Open(dialog, Settings(0, 0, 255, 0));
    dialog.OpacityBar()->setValue(160);
    dialog.ApplyButton()->click();
    dialog.OpacityBar()->setValue(120);
    owner.Close(dialog, false);
    EXPECT_EQ(owner.applied.Opacity, 160);
}

TEST_F(Preferences, OpacityPercentFollowsTheLocale)
{
    EXPECT_EQ(dialog.OpacityLabel()->text(), QStringLiteral("100.0 %")); // design text until the first change
    const QLocale old;
    QLocale::setDefault(QLocale(QLocale::Polish));
    EXPECT_EQ(TFormSettings::OpacityText(96), QStringLiteral("37,6%"));
    QLocale::setDefault(QLocale(QLocale::English));
    EXPECT_EQ(TFormSettings::OpacityText(128), QStringLiteral("50.2%"));
    EXPECT_EQ(TFormSettings::OpacityText(255), QStringLiteral("100.0%"));
    dialog.OpacityBar()->setValue(96);
    EXPECT_EQ(dialog.OpacityLabel()->text(), QStringLiteral("37.6%"));
    QLocale::setDefault(old);
}

TEST(PreferencesLanguage, CaptionsFollowTheLanguageTable)
{
    TFormSettings dialog;
    TLanguageTexts texts;
    ASSERT_TRUE(texts.SetLanguage(2));
    TLanguageApplier::Apply(&dialog, texts, QStringLiteral("Ferrovan-Kest"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Ferrovan-Kest : Настройки"));
    EXPECT_EQ(dialog.ApplyButton()->text(), QStringLiteral("Применить"));
    EXPECT_EQ(dialog.PreviewBox()->text(), QStringLiteral("Предварительный просмотр"));
    ASSERT_TRUE(texts.SetLanguage(0));
    TLanguageApplier::Apply(&dialog, texts, QStringLiteral("Ferrovan-Kest"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Ferrovan-Kest : Preferences"));
    EXPECT_EQ(dialog.ConnectAtStartupBox()->text(), QStringLiteral("Always connect at startup"));
}

// The build time is the date the build wrote into the program's version block when it made
// the program: not earlier than the newest of the window's libraries it was linked from.
TEST(About, BuildTimeIsThatOfTheBuildThatMadeTheProgram)
{
    const TFileVersionInfo program(FK_FERROVAN_KEST_PATH);
    ASSERT_TRUE(program.FixedInfo());
    const QDateTime built = TFormProgInfo::BuildDateTime(program);
    const QDateTime library = QFileInfo(QStringLiteral(FK_APP_LIBRARY_PATH)).lastModified();
    if (qEnvironmentVariableIsEmpty("SOURCE_DATE_EPOCH")) {
        EXPECT_GE(built.toSecsSinceEpoch(), library.toSecsSinceEpoch());
    }
    TFormProgInfo about(program);
    EXPECT_EQ(about.BuildTimeLabel()->text(), QLocale::c().toString(built, QStringLiteral("MMM d yyyy, hh:mm:ss")));
}

TEST(About, ShowsVersionBuildTimeAndOpensLinks)
{
    const TFileVersionInfo none(String("/nonexistent"));
    TFormProgInfo about(none);
    EXPECT_TRUE(about.ProductLabel()->text().startsWith(QStringLiteral("Ferrovan-Kest ")));
    EXPECT_TRUE(about.BuildTimeLabel()->text().contains(QRegularExpression(
        QStringLiteral("^[A-Z][a-z]{2} \\d{1,2} \\d{4}, \\d{2}:\\d{2}:\\d{2}$"))));
    std::vector<QString> opened;
    about.OpenUrl = [&opened](const QString& url) {
        opened.push_back(url);
        return true;
    };
    QTest::mouseClick(about.HomePageLabel(), Qt::LeftButton);
    QTest::mouseClick(about.SupportLabel(), Qt::LeftButton);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QString::fromLatin1(TFormProgInfo::HomePage));
    EXPECT_EQ(opened[1], QStringLiteral("mailto:") + QLatin1String(TFormProgInfo::SupportAddress));
    about.HomePageLabel()->setToolTip(QString());
    about.LinkLabel1Click();
    EXPECT_EQ(opened.size(), 2u); // an empty hint does nothing

    TLanguageTexts texts;
    ASSERT_TRUE(texts.SetLanguage(1));
    TLanguageApplier::Apply(&about, texts, QStringLiteral("Ferrovan-Kest"));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("Ferrovan-Kest : O programie"));
    // The legal notice and the build date in the language's own words.
    EXPECT_EQ(TFormProgInfo::LegalNotice(QStringLiteral("Copyright (C) 2026 NORDVEL. All rights reserved."),
                                         QString::fromStdString(texts.Translate("inf_copyright"))),
              QStringLiteral("© 2026 NORDVEL. Wszelkie prawa zastrzeżone."));
    about.ShowLanguage(2, QString());
    const QDateTime built = TFormProgInfo::BuildDateTime(none);
    EXPECT_EQ(about.BuildTimeLabel()->text(), QLocale(QLocale::Russian).toString(built, QStringLiteral("d MMMM yyyy, HH:mm:ss")));
    EXPECT_EQ(TFormProgInfo::LegalNotice(QStringLiteral("Made by us"), QStringLiteral("© %1 %2.")),
              QStringLiteral("Made by us")); // a notice of another form stays as it is
}

TEST(About, IconSizeKeepsTheTwoHighestBits)
{
    EXPECT_EQ(TFormProgInfo::IconSize(48), 48);
    EXPECT_EQ(TFormProgInfo::IconSize(50), 48);
    EXPECT_EQ(TFormProgInfo::IconSize(40), 32);
    EXPECT_EQ(TFormProgInfo::IconSize(31), 24);
    EXPECT_EQ(TFormProgInfo::IconSize(64), 64);
    EXPECT_EQ(TFormProgInfo::IconSize(1), 1);
}

TEST(DialogScreenshots, PreferencesAndAboutInEveryLanguage)
{
    QApplication::setWindowIcon(TAppImages::ApplicationIcon());
    const TFileVersionInfo program(FK_FERROVAN_KEST_PATH); // a legal notice to translate
    TFormSettings settings;
    settings.SetLanguages({ QStringLiteral("English"), QStringLiteral("Polish (Polski)"), QStringLiteral("Russian (Русский)") });
    settings.SetSkins({ QStringLiteral("Fusion"), QStringLiteral("Graphite") });
    settings.SetSettings(Settings(1, 0, 200, optRememberConnection | optScreenSnap));
    TFormProgInfo about(program);
    TLanguageTexts texts;
    const char* names[] = { "en", "pl", "ru" };
    for (int lang = 0; lang < 3; ++lang) {
        ASSERT_TRUE(texts.SetLanguage(lang));
        about.ShowLanguage(lang, QString::fromStdString(texts.Translate("inf_copyright")));
        for (QDialog* d : { static_cast<QDialog*>(&settings), static_cast<QDialog*>(&about) }) {
            TLanguageApplier::Apply(d, texts, QStringLiteral("Ferrovan-Kest"));
            TAccelerators::Apply(d); // as the main window gives them
            d->show();
            QCoreApplication::processEvents();
        }
        EXPECT_FALSE(test::SaveScreenshot(settings, QStringLiteral("dialogs"), QStringLiteral("preferences-") + QLatin1String(names[lang])).isEmpty());
        EXPECT_FALSE(test::SaveScreenshot(about, QStringLiteral("dialogs"), QStringLiteral("about-") + QLatin1String(names[lang])).isEmpty());
        // Every text fits its control at this size.
        for (QDialog* d : { static_cast<QDialog*>(&settings), static_cast<QDialog*>(&about) }) {
            for (QWidget* w : d->findChildren<QWidget*>()) {
                if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w)) {
                    EXPECT_GE(w->width(), w->sizeHint().width())
                        << names[lang] << " " << w->metaObject()->className() << " \""
                        << w->property("text").toString().toStdString() << "\"";
                }
            }
        }
    }
}

} // namespace fk
