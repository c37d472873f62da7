#include "app/MainMenus.h"

#include "app/AppImages.h"
#include "app/HelpDocuments.h"
#include "app/ObjectNames.h"

#include <QAction>
#include <QActionGroup>
#include <QFont>
#include <QIcon>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace fk {

TMainMenus::TMainMenus(QMainWindow& window, const QStringList& skins, const std::function<void(QMenu&)>& addToOptions)
    : QObject(&window)
{
    QMenuBar* bar = window.menuBar();
    menuOptions_ = bar->addMenu(QStringLiteral("&Options"));
    menuOptions_->setObjectName(QLatin1String(names::OptionsMenu));
    menuOptions_->setToolTipsVisible(true);
    menuLanguage_ = menuOptions_->addMenu(QStringLiteral("&Language"));
    menuLanguage_->setObjectName(QLatin1String(names::LanguageMenu));
    languages_ = new QActionGroup(this);
    const char* captions[3] = {"English", "Polish (Polski)", "Russian (Русский)"};
    const char* codes[3] = {"EN", "PL", "RU"};
    for (int i = 0; i < 3; ++i) {
        QAction* item = menuLanguage_->addAction(QString::fromUtf8(captions[i]));
        item->setObjectName(QLatin1String(names::LanguageItems[i]));
        item->setCheckable(true);
        item->setData(QString::fromLatin1(codes[i]));
        item->setStatusTip(QString::fromLatin1(codes[i]));
        languages_->addAction(item);
        menuLng_[i] = item;
    }
    menuLng_[0]->setChecked(true);
    connect(languages_, &QActionGroup::triggered, this, [this](QAction* item) {
        for (int i = 0; i < 3; ++i)
            if (menuLng_[i] == item)
                emit LanguageChosen(i);
    });
    menuSkins_ = menuOptions_->addMenu(QStringLiteral("&Skin"));
    menuSkins_->setObjectName(QLatin1String(names::SkinMenu));
    BuildSkinMenu(skins);
    menuSettings_ = menuOptions_->addAction(QStringLiteral("&Preferences..."));
    menuSettings_->setObjectName(QLatin1String(names::PreferencesItem));
    connect(menuSettings_, &QAction::triggered, this, [this] { emit PreferencesChosen(); });
    addToOptions(*menuOptions_);

    menuHelp_ = bar->addMenu(QStringLiteral("&Help"));
    menuHelp_->setObjectName(QLatin1String(names::HelpMenu));
    menuHelp_->setToolTipsVisible(true);
    menuHelpManual_ = menuHelp_->addAction(QStringLiteral("User &Manual"));
    menuHelpManual_->setObjectName(QLatin1String(names::ManualItem));
    menuHelpWiring_ = menuHelp_->addAction(QStringLiteral("&Wiring Diagram"));
    menuHelpWiring_->setObjectName(QLatin1String(names::WiringItem));
    connect(menuHelpManual_, &QAction::triggered, this, [this] { emit HelpChosen(HelpManual); });
    connect(menuHelpWiring_, &QAction::triggered, this, [this] { emit HelpChosen(HelpWiring); });
    menuHelp_->addSeparator();
    menuAbout_ = menuHelp_->addAction(QStringLiteral("&About..."));
    menuAbout_->setObjectName(QLatin1String(names::AboutItem));
    connect(menuAbout_, &QAction::triggered, this, [this] { emit AboutChosen(); });

    portListMenu_ = new QMenu(&window);
    portListMenu_->setObjectName(QLatin1String(names::PortListMenu));
    menuConfigure_ = portListMenu_->addAction(QStringLiteral("Configure"));
    menuConfigure_->setObjectName(QLatin1String(names::ConfigureItem));
    menuConfigure_->setEnabled(false); // wireless-module entries only
}

void TMainMenus::BuildSkinMenu(const QStringList& skins)
{
    // Qt menus need no indentation of their own for themes that are not the platform's
    // style: every theme draws the menu's check column itself.
    skins_ = new QActionGroup(this);
    for (const QString& name : skins) {
        QAction* item = menuSkins_->addAction(name);
        item->setCheckable(true);
        item->setData(name);
        skins_->addAction(item);
    }
    connect(skins_, &QActionGroup::triggered, this, [this](QAction* item) { emit SkinChosen(item->data().toString()); });
}

QStringList TMainMenus::LanguageCodes() const
{
    QStringList codes;
    for (QAction* item : menuLng_)
        codes << item->data().toString();
    return codes;
}

QStringList TMainMenus::LanguageCaptions() const
{
    QStringList languages;
    for (QAction* item : menuLng_)
        languages << item->text().remove(QLatin1Char('&')).trimmed();
    return languages;
}

QStringList TMainMenus::SkinCaptions() const
{
    QStringList skins;
    for (QAction* item : skins_->actions())
        skins << item->text().remove(QLatin1Char('&')).trimmed();
    return skins;
}

void TMainMenus::ShowLanguage(int index)
{
    if (index < 3)
        menuLng_[index]->setChecked(true);
    // The default item (bold) is the active language; none when the index has no item.
    for (int i = 0; i < 3; ++i) {
        QFont font = menuLng_[i]->font();
        font.setBold(i == index);
        menuLng_[i]->setFont(font);
    }
}

int TMainMenus::ShowSkin(const QString& name)
{
    int shown = -1;
    const QList<QAction*> items = skins_->actions();
    for (int i = 0; i < items.size(); ++i) {
        const bool active = items[i]->data().toString() == name;
        items[i]->setChecked(active);
        QFont font = items[i]->font();
        font.setBold(active); // the default item
        items[i]->setFont(font);
        if (active)
            shown = i;
    }
    return shown;
}

void TMainMenus::ApplyTexts(const std::function<QString(const char* key)>& translate)
{
    const auto menu = [&](auto* item, const char* key, const QString& suffix = QString()) {
        const QString text = translate(key);
        if (!text.isEmpty())
            item->setText(text + suffix);
    };
    menu(menuOptions_->menuAction(), "men_options");
    menu(menuLanguage_->menuAction(), "men_lng-language");
    menu(menuSkins_->menuAction(), "men_skin");
    menu(menuSettings_, "men_preferences", QStringLiteral("..."));
    menu(menuHelp_->menuAction(), "men_help");
    menu(menuHelpManual_, "men_help-manual");
    menu(menuHelpWiring_, "men_help-wiring");
    menu(menuAbout_, "men_about", QStringLiteral("..."));
    menu(menuConfigure_, "men_configure");
}

void TMainMenus::ApplyImages(const TAppImages& images)
{
    for (int i = 0; i < 3; ++i)
        menuLng_[i]->setIcon(QIcon(images.Flag(i)));
    menuLanguage_->setIcon(QIcon(images.MenuImage(miLanguage)));
    menuSkins_->setIcon(QIcon(images.MenuImage(miSkin)));
    menuSettings_->setIcon(QIcon(images.MenuImage(miPreferences)));
    menuHelpManual_->setIcon(QIcon(images.MenuImage(miManual)));
    menuHelpWiring_->setIcon(QIcon(images.MenuImage(miWiring)));
    menuAbout_->setIcon(QIcon(images.MenuImage(miAbout)));
    menuConfigure_->setIcon(QIcon(images.MenuImage(miPreferences)));
}

} // namespace fk
