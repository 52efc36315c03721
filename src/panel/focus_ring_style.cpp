#include "panel/focus_ring_style.h"

#include <QPainter>
#include <QStyleOption>
#include <QWidget>

namespace tolvane {

namespace {

constexpr int kRingWidth = 2;

// Drawn inside the control's own rectangle, so that nothing moves and no neighbour is painted on.
void drawRing(QPainter* painter, const QStyleOption& option, int inset) {
    if (!(option.state & QStyle::State_HasFocus)) {
        return;
    }
    const QRect r = option.rect.adjusted(inset, inset, -inset, -inset);
    const QColor colour = option.palette.color(QPalette::Highlight);
    painter->fillRect(r.left(), r.top(), r.width(), kRingWidth, colour);
    painter->fillRect(r.left(), r.bottom() - kRingWidth + 1, r.width(), kRingWidth, colour);
    painter->fillRect(r.left(), r.top() + kRingWidth, kRingWidth, r.height() - 2 * kRingWidth,
                      colour);
    painter->fillRect(r.right() - kRingWidth + 1, r.top() + kRingWidth, kRingWidth,
                      r.height() - 2 * kRingWidth, colour);
}

}  // namespace

void FocusRingStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                        QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    if (control == CC_ScrollBar) {
        drawRing(painter, *option, 0);
    }
}

void FocusRingStyle::drawControl(ControlElement element, const QStyleOption* option,
                                 QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawControl(element, option, painter, widget);
    // A title chosen from the keyboard (F10, Alt), which some styles mark only once it is open.
    const bool chosenTitle = element == CE_MenuBarItem && (option->state & State_Selected) &&
                             widget != nullptr && widget->hasFocus();
    if (element == CE_PushButton || chosenTitle) {
        drawRing(painter, *option, 0);
    } else if (element == CE_ShapedFrame) {
        // Inside the sunken border, which stays as it is.
        const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
        drawRing(painter, *option, frame != nullptr ? frame->lineWidth : 0);
    }
}

}  // namespace tolvane
