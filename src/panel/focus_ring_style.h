// Shows which control holds the keyboard focus: a ring in the palette's highlight colour over a
// focused scroll bar, push button or framed box, or the menu bar's title chosen from the keyboard,
// whatever the base style draws for the focus itself.
#pragma once

#include <QProxyStyle>

namespace tolvane {

class FocusRingStyle final : public QProxyStyle {
    Q_OBJECT

  public:
    using QProxyStyle::QProxyStyle;

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
};

}  // namespace tolvane
