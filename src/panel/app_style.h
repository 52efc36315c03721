// The application's style: the one Qt picks for the desktop, unless that one hides the sliders.
#pragma once

#include <QString>
#include <QStringList>

namespace tolvane {

// The style to draw the panel in, of the styles there are (as QStyleFactory::keys() spells
// them), given the one picked for the desktop: that one, unless it draws a scroll bar without its
// arrows and thumb until the pointer is over it (Qt's Windows 11 style); then the style Windows
// 10 gets, which draws them with the system's theme, or Qt's own classic one.
QString panelStyleName(const QString& picked, const QStringList& available);

// Puts the panel's style in place of the application's where they differ. Once, after the
// application is made and before any window: message boxes and menus take it from there.
void usePanelStyle();

}  // namespace tolvane
