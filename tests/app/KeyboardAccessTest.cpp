// The window by keyboard and as a screen reader sees it: an accelerator for every caption in
// every language, Tab in reading order, and a name (and for the knobs a value) for every control.
#include "AppTestHarness.h"
#include "app/Accelerators.h"
#include "app/FormKCConfig.h"
#include "app/FormProgInfo.h"
#include "app/FormSettings.h"
#include "app/ModuleEntries.h"
#include "controls/Knob.h"
#include "controls/KnobSpinButtons.h"

#include <QAbstractSlider>
#include <QAccessible>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

#include <map>

namespace fk::test {
namespace {

TEST(Accelerators, EveryTextGetsAFreeLetterAndKeepsItsOwnWhileFree)
{
    const QStringList marked = TAccelerators::Assign(
        {QStringLiteral("Open"), QStringLiteral("&Pause"), QStringLiteral("Options"), QStringLiteral("P&ort"),
         QStringLiteral("Salt && pepper"), QStringLiteral("...")});
    EXPECT_EQ(marked, (QStringList{QStringLiteral("Op&en"), QStringLiteral("&Pause"), QStringLiteral("Op&tions"),
                                   QStringLiteral("P&ort"), QStringLiteral("&Salt && pepper"), QStringLiteral("...")}));
    EXPECT_EQ(TAccelerators::Strip(marked[4]), QStringLiteral("Salt & pepper"));
    EXPECT_EQ(TAccelerators::Of(QStringLiteral("Время &паузы")), QChar(0x043F)); // п
}

class KeyboardAccess : public MainFormTest {
protected:
    std::vector<QWidget*> Windows() const
    {
        return {form_.get(), &form_->Preferences(), &form_->About(), &form_->Modules().Dialog()};
    }

    // Accelerators of one group must be there and differ.
    static void ExpectUnique(const QStringList& texts, const std::string& where)
    {
        std::map<QChar, QString> seen;
        for (const QString& text : texts) {
            const QChar key = TAccelerators::Of(text);
            EXPECT_FALSE(key.isNull()) << where << ": no accelerator in " << text.toStdString();
            if (key.isNull())
                continue;
            const auto [it, fresh] = seen.emplace(key, text);
            EXPECT_TRUE(fresh) << where << ": " << text.toStdString() << " and " << it->second.toStdString();
        }
    }

    static void ExpectMenu(const QMenu* menu, const std::string& where)
    {
        QStringList items;
        for (QAction* item : menu->actions())
            if (!item->isSeparator()) {
                items << item->text();
                if (item->menu())
                    ExpectMenu(item->menu(), where + " > " + TAccelerators::Strip(item->text()).toStdString());
            }
        ExpectUnique(items, where);
    }
};

TEST_F(KeyboardAccess, EveryWindowHasUniqueAcceleratorsInEveryLanguage)
{
    MakeForm();
    for (const int language : {lngPolish, lngRussian, lngEnglish}) {
        form_->SetLanguage(language);
        for (QWidget* window : Windows()) {
            const std::string where = std::to_string(language) + " " + window->objectName().toStdString();
            QStringList texts;
            if (window == form_.get())
                for (QAction* title : form_->menuBar()->actions()) {
                    texts << title->text();
                    ExpectMenu(title->menu(), where + " " + TAccelerators::Strip(title->text()).toStdString());
                }
            for (QWidget* w : window->findChildren<QWidget*>()) {
                if (w->window() != window)
                    continue;
                if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty())
                    texts << b->text();
                if (auto* l = qobject_cast<QLabel*>(w); l && l->buddy())
                    texts << l->text();
            }
            ExpectUnique(texts, where);
        }
    }
}

TEST_F(KeyboardAccess, TabGoesThroughTheMainWindowInReadingOrder)
{
    StartSim();
    MakeForm();
    ConnectThroughWindow();
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    auto* openKnob = Find<TKnob>(names::OpenTimeKnob);
    auto* breakKnob = Find<TKnob>(names::BreakTimeKnob);
    openKnob->Edit()->setFocus(Qt::TabFocusReason);
    const std::vector<QWidget*> expected = {
        openKnob->Edit(), breakKnob->Edit(), Button(names::VentingButton), Find<QWidget>(names::PortList),
        Button(names::ConnectButton), Button(names::DisconnectButton), Button(names::UploadButton), Button(names::RebootButton), openKnob->Edit()};
    for (std::size_t i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected[i])
            << "step " << i << ": " << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "none");
    }
    // Alt + the label's letter goes to its knob.
    const QChar key = TAccelerators::Of(Find<QLabel>(names::BreakTimeLabel)->text());
    ASSERT_FALSE(key.isNull());
    QTest::keyClick(form_.get(), key.toLatin1(), Qt::AltModifier);
    EXPECT_TRUE(breakKnob->hasFocus() || breakKnob->Edit()->hasFocus());
}

TEST_F(KeyboardAccess, AScreenReaderFindsANameForEveryControlInEveryLanguage)
{
    StartSim();
    MakeForm();
    ConnectThroughWindow();
    for (const int language : {lngEnglish, lngPolish, lngRussian}) {
        form_->SetLanguage(language);
        for (QWidget* window : Windows()) {
            std::map<std::pair<int, QString>, QWidget*> named;
            for (QWidget* w : window->findChildren<QWidget*>()) {
                const QWidget* parent = w->parentWidget();
                const bool insideScrollArea = parent && parent->objectName().startsWith(QLatin1String("qt_scrollarea"));
                const bool interactive = w->focusPolicy() != Qt::NoFocus || qobject_cast<QAbstractButton*>(w) ||
                                         (qobject_cast<QAbstractSlider*>(w) && !insideScrollArea);
                if (w->window() != window || !interactive || !w->isVisibleTo(window) || insideScrollArea)
                    continue;
                QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
                ASSERT_NE(face, nullptr);
                const QString name = face->text(QAccessible::Name);
                const std::string where = std::to_string(language) + " " + window->objectName().toStdString() + " " +
                    w->metaObject()->className() + " " + w->objectName().toStdString();
                EXPECT_FALSE(name.trimmed().isEmpty()) << where;
                const auto [it, fresh] = named.emplace(std::make_pair(int(face->role()), name), w);
                EXPECT_TRUE(fresh) << where << ": the same role and name as " << it->second->objectName().toStdString()
                                   << " (" << name.toStdString() << ")";
            }
        }
    }
    // The knob reads as a spin box with its value, unit, range and step.
    auto* knob = Find<TKnob>(names::OpenTimeKnob);
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(knob);
    ASSERT_NE(face->valueInterface(), nullptr);
    EXPECT_EQ(face->role(), QAccessible::SpinBox);
    EXPECT_EQ(face->text(QAccessible::Name), QStringLiteral("Время открытия (мс)"));
    EXPECT_EQ(face->text(QAccessible::Value), knob->Edit()->text() + QStringLiteral(" мс"));
    EXPECT_EQ(face->valueInterface()->minimumValue().toDouble(), 10.0);
    EXPECT_EQ(face->valueInterface()->maximumValue().toDouble(), 50.0);
    EXPECT_EQ(face->valueInterface()->minimumStepSize().toDouble(), 1.0);
    QAccessibleInterface* arrows = QAccessible::queryAccessibleInterface(knob->SpinButtons());
    ASSERT_EQ(arrows->childCount(), 2);
    EXPECT_EQ(arrows->child(0)->text(QAccessible::Name), QStringLiteral("Увеличить время открытия"));
    // Setting the value through the interface is one whole move.
    face->valueInterface()->setCurrentValue(33);
    EXPECT_EQ(knob->Position(), 33);
}

} // namespace
} // namespace fk::test
