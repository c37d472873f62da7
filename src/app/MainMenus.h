#pragma once
// TMainMenus: the main window's menu bar and the port list's pop-up menu.
//
// Options: Language (English, Polish, Russian), Skin (one item per theme), Preferences..., and
// what the window adds behind them (the service record's items); Help: User Manual, Wiring
// Diagram, About...; the pop-up: Configure (wireless-module entries only, disabled otherwise).
// The menus tell what the user chose through their signals; the window shows its state back
// (the language and the skin in use are checked and bold).
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QAction;
class QActionGroup;
class QMainWindow;
class QMenu;

namespace fk {

class TAppImages;

class TMainMenus : public QObject {
    Q_OBJECT
public:
    // addToOptions puts further items at the end of the Options menu, before Help is built.
    TMainMenus(QMainWindow& window, const QStringList& skins, const std::function<void(QMenu&)>& addToOptions);

    QMenu& PortListMenu() const noexcept { return *portListMenu_; }
    QAction& ConfigureItem() const noexcept { return *menuConfigure_; }
    // The Language menu's codes ("EN", "PL", "RU") and captions (without accelerators).
    QStringList LanguageCodes() const;
    QStringList LanguageCaptions() const;
    QStringList SkinCaptions() const;

    // Checks the language item (index past the items: none) and makes it the bold one.
    void ShowLanguage(int index);
    // Checks the skin item named and makes it the bold one; its index, -1 for none.
    int ShowSkin(const QString& name);
    // The menus' captions in the language shown; a key without a text keeps the caption.
    void ApplyTexts(const std::function<QString(const char* key)>& translate);
    void ApplyImages(const TAppImages& images);

signals:
    void LanguageChosen(int index);
    void SkinChosen(const QString& name);
    void PreferencesChosen();
    void HelpChosen(const QString& kind);
    void AboutChosen();

private:
    void BuildSkinMenu(const QStringList& skins);

    QMenu* menuOptions_ = nullptr;
    QMenu* menuLanguage_ = nullptr;
    QActionGroup* languages_ = nullptr;
    QAction* menuLng_[3] = {};
    QMenu* menuSkins_ = nullptr;
    QActionGroup* skins_ = nullptr;
    QAction* menuSettings_ = nullptr;
    QMenu* menuHelp_ = nullptr;
    QAction* menuHelpManual_ = nullptr;
    QAction* menuHelpWiring_ = nullptr;
    QAction* menuAbout_ = nullptr;
    QMenu* portListMenu_ = nullptr;
    QAction* menuConfigure_ = nullptr;
};

} // namespace fk
