#pragma once
// What assistive technology (a screen reader over AT-SPI) sees of the knob and the spinner:
// a spin box with its name, its value as the edit box shows it with its unit ("20 ms"), and
// its range and step in the shown value's terms; setting the value is one whole move.
#include <QAccessibleWidget>

#include <functional>

namespace fk {

class TValueAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    struct TModel {
        std::function<double()> Value, Min, Max, Step;
        std::function<void(double)> SetValue;
        std::function<QString()> Text; // the value as shown, with its unit
    };
    TValueAccessible(QWidget* widget, TModel model);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

    // The factory Qt asks for the knob's and the spinner's interface (installed once by each).
    static QAccessibleInterface* Factory(const QString& className, QObject* object);
    static void Install();

private:
    TModel model_;
};

} // namespace fk
