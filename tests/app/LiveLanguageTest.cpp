// Languages switched while the program runs, as a user does it from the Language menu: every
// caption fits in every window after each switch (and at the smallest window), Qt's own texts
// follow, the texts of our own that are not captions follow, and pictures of the main window,
// the preferences and the module dialog after each switch, in a dark and a light skin, under
// <build>/screenshots/live-language/ (the suite runs them at 96 and at 192 dpi).
#include "AppTestHarness.h"
#include "ModuleTestSupport.h"
#include "ScreenshotUtil.h"

#include "app/ElidedLabel.h"
#include "app/FormKCConfig.h"
#include "app/FormProgInfo.h"
#include "app/FormSettings.h"
#include "app/ModuleEntries.h"
#include "app/QtTranslations.h"
#include "controls/MyListView.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QSlider>

#include <cmath>

namespace fk::test {
namespace {

const char* const kCodes[] = {"en", "pl", "ru"};

// Every visible caption of window is shown whole: buttons, check boxes and one-line labels are
// at least as wide as their texts need (an eliding label shows its whole text as tool tip).
void ExpectCaptionsFit(QWidget& window, const std::string& where)
{
    for (QAbstractButton* b : window.findChildren<QAbstractButton*>()) {
        if (b->isVisible() && !b->text().isEmpty()) {
            EXPECT_GE(b->width(), b->sizeHint().width()) << where << ": " << b->text().toStdString();
        }
    }
    for (QLabel* l : window.findChildren<QLabel*>()) {
        if (!l->isVisible() || l->text().isEmpty() || l->wordWrap() || !l->pixmap().isNull())
            continue;
        if (auto* elided = qobject_cast<TElidedLabel*>(l)) {
            if (elided->Elided()) {
                EXPECT_EQ(elided->toolTip(), elided->text()) << where;
            }
            continue;
        }
        if (l->textFormat() == Qt::RichText || Qt::mightBeRichText(l->text()))
            continue;
        EXPECT_GE(l->width(), l->sizeHint().width()) << where << ": " << l->text().toStdString();
    }
}

double Luminance(const QColor& c)
{
    const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double Contrast(const QColor& a, const QColor& b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Names of 32 characters, the longest a module reports.
TKestConnectStatus LongModule()
{
    return ModuleRecord("192.168.4.1", "KESTConnect Pompownia Zachodnia1", "Siec warsztatowa hali produkcji2",
                        "192.168.4.1", true, {{"Warsztat", -50}, {"hala-2", -60}, {"Biuro", -70}});
}

class LiveLanguageTest : public MainFormTest {
protected:
    void TearDown() override
    {
        if (form_) {
            form_->Modules().Dialog().hide();
            form_->Preferences().hide();
            form_->ApplySkin(form_->Themes().PlatformName());
            form_->SetLanguage(lngEnglish);
        }
        MainFormTest::TearDown();
    }
    void Switch(int lang)
    {
        form_->findChild<QAction*>(QLatin1String(names::LanguageItems[lang]))->trigger();
        QCoreApplication::processEvents();
    }
    TFormKCConfig& ShowModuleDialog()
    {
        TFormKCConfig& dialog = form_->Modules().Dialog();
        dialog.show();
        dialog.SetModemStatus(LongModule());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        return dialog;
    }
};

} // namespace

TEST_F(LiveLanguageTest, SwitchesEnPlRuEnInADarkAndALightSkinAreScreenshots)
{
    StartSim();
    MakeForm();
    ConnectThroughWindow();
    ASSERT_TRUE(WaitStatus(QStringLiteral("Connected")));
    form_->Preferences().show();
    TFormKCConfig& dialog = ShowModuleDialog();
    int written = 0;
    for (const QString& skin : {QStringLiteral("Graphite"), QStringLiteral("Birch")}) {
        ASSERT_TRUE(form_->Themes().Contains(skin));
        form_->ApplySkin(skin);
        QString prefix = skin.toLower() + QLatin1Char('-');
        int step = 0;
        for (int lang : {lngEnglish, lngPolish, lngRussian, lngEnglish}) {
            Switch(lang);
            const QString name = prefix + QString::number(++step) + QLatin1Char('-') + QLatin1String(kCodes[lang]);
            const std::string where = name.toStdString();
            ExpectCaptionsFit(*form_, where + " main");
            ExpectCaptionsFit(form_->Preferences(), where + " preferences");
            ExpectCaptionsFit(dialog, where + " module dialog");
            for (QWidget* w : {static_cast<QWidget*>(form_.get()), static_cast<QWidget*>(&form_->Preferences()),
                               static_cast<QWidget*>(&dialog)}) {
                const QString group = w == form_.get() ? QStringLiteral("main")
                                      : w == &dialog   ? QStringLiteral("modules")
                                                       : QStringLiteral("preferences");
                if (!SaveScreenshot(*w, QStringLiteral("live-language"), group + QLatin1Char('-') + name).isEmpty())
                    ++written;
            }
        }
    }
    EXPECT_EQ(written, 2 * 4 * 3);
}

// At its smallest the window still shows every caption whole, in every language, and the
// information line stays clear of the version block.
TEST_F(LiveLanguageTest, SmallestWindowKeepsEveryCaptionInEveryLanguage)
{
    StartSim();
    MakeForm();
    ConnectThroughWindow();
    ASSERT_TRUE(WaitStatus(QStringLiteral("Connected")));
    for (int lang : {lngPolish, lngRussian, lngEnglish}) {
        Switch(lang);
        form_->resize(1, 1);
        RunEventsFor(50);
        EXPECT_GE(form_->width(), form_->minimumWidth());
        ExpectCaptionsFit(*form_, kCodes[lang]);
        QWidget* version = Find<QLabel>(names::DeviceVersionLabel);
        QWidget* info = Find<QLabel>(names::DeviceInfoLabel);
        const QRect a(version->mapTo(form_.get(), QPoint()), version->size());
        const QRect b(info->mapTo(form_.get(), QPoint()), info->size());
        EXPECT_FALSE(a.intersects(b)) << kCodes[lang];
    }
}

// Qt's own buttons and menus speak the chosen language and follow a switch.
TEST_F(LiveLanguageTest, QtsOwnTextsFollowTheLanguage)
{
    if (!QFile::exists(TQtTranslations::Folder() + QStringLiteral("/qtbase_pl.qm")))
        GTEST_SKIP() << "Qt's translations are not installed (qt6-translations-l10n; scripts/install-deps installs it)";
    MakeForm();
    const auto askTexts = [this] {
        QStringList texts;
        TModalAnswer answer([&texts](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box)
                return false;
            for (QAbstractButton* b : box->buttons())
                texts << b->text().remove(QLatin1Char('&'));
            box->button(QMessageBox::Cancel)->click();
            return true;
        });
        form_->AskQuestion(msgStopUploadAsk);
        texts.sort();
        return texts;
    };
    Switch(lngPolish);
    EXPECT_EQ(askTexts(), (QStringList{"Anuluj", "Nie", "Tak"}));
    Switch(lngRussian);
    EXPECT_EQ(askTexts(), (QStringList{"Да", "Нет", "Отмена"}));
    // The context menu of an edit box.
    QLineEdit edit;
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList items;
    for (QAction* a : menu->actions())
        items << a->text().remove(QLatin1Char('&'));
    EXPECT_TRUE(items.join(QLatin1Char('|')).contains(QStringLiteral("Вставить"))) << items.join(QLatin1Char('|')).toStdString();
    Switch(lngEnglish);
    EXPECT_EQ(askTexts(), (QStringList{"Cancel", "No", "Yes"}));
}

// Texts of ours that are not captions follow the language too.
TEST_F(LiveLanguageTest, HintsAndMessagesOfOursFollowTheLanguage)
{
    MakeForm();
    Switch(lngPolish);
    QString text;
    TModalAnswer answer(TModalAnswer::Click(QMessageBox::Ok, &text));
    form_->OpenHelpDocument(QStringLiteral("no-such-kind"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("Nie znaleziono dokumentu. Szukano:"))) << text.toStdString();
    EXPECT_EQ(form_->Preferences().OpacityBar()->toolTip(), QStringLiteral("Krycie okna aplikacji."));

    TFormKCConfig& dialog = ShowModuleDialog();
    Switch(lngRussian);
    dialog.SSIDEdit()->setFocus();
    QKeyEvent comma(QEvent::KeyPress, Qt::Key_Comma, Qt::NoModifier, QStringLiteral(","));
    QApplication::sendEvent(dialog.SSIDEdit(), &comma);
    EXPECT_EQ(dialog.HintLabel()->text(), QStringLiteral("Текст модуля не может содержать запятую."));
}

// A 32-character name and SSID do not widen the module dialog beyond the screen's reason: they
// are cut with "…" and shown whole in their tool tips.
TEST_F(LiveLanguageTest, ModuleDialogHeaderElidesLongNamesWithTheWholeTextAsToolTip)
{
    MakeForm();
    TFormKCConfig& dialog = ShowModuleDialog();
    dialog.resize(dialog.minimumSize());
    RunEventsFor(50);
    const QString name = QStringLiteral("KESTConnect Pompownia Zachodnia1");
    EXPECT_EQ(dialog.NameLabel()->text(), name);
    auto* label = qobject_cast<TElidedLabel*>(dialog.NameLabel());
    ASSERT_NE(label, nullptr);
    auto* ssid = qobject_cast<TElidedLabel*>(dialog.AccessPointLabel());
    ASSERT_NE(ssid, nullptr);
    EXPECT_TRUE(label->Elided() || ssid->Elided());
    label->grab();
    ssid->grab();
    for (TElidedLabel* l : {label, ssid})
        EXPECT_EQ(l->toolTip(), l->Elided() ? l->text() : QString());
    ExpectCaptionsFit(dialog, "module dialog at its smallest");
    const QRect header = dialog.Header()->contentsRect();
    EXPECT_LE(dialog.AccessPointLabel()->mapTo(dialog.Header(), QPoint(dialog.AccessPointLabel()->width(), 0)).x(),
              header.right() + 1);
}

// The SSID column sorts letters as the language's alphabet does, whatever their case.
TEST_F(LiveLanguageTest, SsidOrderFoldsCaseForEveryAlphabet)
{
    const QLocale old;
    const auto ascending = [](unsigned codePage, const QStringList& names) {
        QLocale::setDefault(QLocale(codePage == TAnsiCodePage::Cyrillic ? QLocale::Russian : QLocale::Polish));
        const TAnsiCodePage page(codePage);
        std::list<TWLANItem> networks;
        for (const QString& name : names) {
            AnsiString ssid;
            EXPECT_TRUE(page.Encode(name.toStdString(), ssid));
            networks.push_back({ssid, -50});
        }
        TFormKCConfig dialog(nullptr, codePage);
        dialog.show();
        dialog.SetModemStatus(ModuleRecord("127.0.0.2", "Pump", "Depot", "0.0.0.0", false, networks));
        TMyListView& view = *dialog.NetworkList();
        dialog.ListView1ColumnClick(nullptr, view.Columns().GetItem(0)); // descending
        dialog.ListView1ColumnClick(nullptr, view.Columns().GetItem(0)); // ascending
        QStringList order;
        for (int i = 0; i < view.topLevelItemCount(); ++i)
            order << view.topLevelItem(i)->text(0);
        return order;
    };
    EXPECT_EQ(ascending(TAnsiCodePage::CentralEuropean, {"Mama", "Łąka", "lato", "ława"}),
              (QStringList{"lato", "ława", "Łąka", "Mama"}));
    EXPECT_EQ(ascending(TAnsiCodePage::Cyrillic, {"Яблоко", "арбуз", "Банан", "ёж"}),
              (QStringList{"арбуз", "Банан", "ёж", "Яблоко"}));
    QLocale::setDefault(old);
}

// A skin switch recolours what the windows colour themselves: the About box's links take the
// new skin's link colour, the module dialog's pass-phrase box and hint follow too.
TEST_F(LiveLanguageTest, OwnColoursFollowEverySkin)
{
    MakeForm();
    form_->MenuAboutClick();
    TFormKCConfig& dialog = ShowModuleDialog();
    for (const QString& skin : form_->Themes().Names()) {
        form_->ApplySkin(skin);
        QCoreApplication::processEvents();
        const QPalette p = form_->About().palette();
        for (QLabel* link : {form_->About().HomePageLabel(), form_->About().SupportLabel()}) {
            EXPECT_EQ(link->palette().color(QPalette::WindowText), p.color(QPalette::Link)) << skin.toStdString();
            EXPECT_GE(Contrast(link->palette().color(QPalette::WindowText), p.color(QPalette::Window)), 4.5)
                << skin.toStdString();
        }
        const QPalette d = dialog.palette();
        EXPECT_EQ(dialog.PasswordEdit()->palette().color(QPalette::Base), d.color(QPalette::Base)) << skin.toStdString();
        EXPECT_GE(Contrast(dialog.HintLabel()->palette().color(QPalette::WindowText), d.color(QPalette::Window)), 4.5)
            << skin.toStdString();
    }
    form_->About().hide();
}

} // namespace fk::test
