#include "panel/step_by_one_style.h"

namespace tolvane {

int StepByOneStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                              QStyleHintReturn* returnData) const {
    switch (hint) {
        case SH_ScrollBar_LeftClickAbsolutePosition:
        case SH_ScrollBar_MiddleClickAbsolutePosition:
        case SH_ScrollBar_ContextMenu:  // its "Scroll here" would jump as well
            return 0;
        default:
            return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
}

}  // namespace tolvane
