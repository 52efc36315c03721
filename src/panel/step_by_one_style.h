// A style that keeps scroll bars stepping by one on a click in the track.
#pragma once

#include <QProxyStyle>

namespace tolvane {

// Keeps scroll bars stepping: a click in the track moves the value by one step, as an arrow
// click does, whatever the platform style would do (some jump to the clicked point).
class StepByOneStyle final : public QProxyStyle {
    Q_OBJECT

  public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override;
};

}  // namespace tolvane
