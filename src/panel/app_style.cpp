#include "panel/app_style.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <array>

namespace tolvane {

namespace {

// Qt 6.8's Windows 11 style draws a scroll bar as a hairline until the pointer is over it, and
// its arrows only then, as glyphs of a Windows 11 font; the panel's main controls are scroll bars.
constexpr QLatin1String kHidingStyle("windows11");

// In its place, the first there is. The Vista style draws the scroll bar's parts from the
// system's theme, as Windows 10 and the classic programs of Windows 11 show them; it draws light
// only, and makes the palette light in dark mode itself. Qt's classic style is always built in.
constexpr std::array kInItsPlace{QLatin1String("windowsvista"), QLatin1String("Windows")};

}  // namespace

QString panelStyleName(const QString& picked, const QStringList& available) {
    if (picked.compare(kHidingStyle, Qt::CaseInsensitive) != 0) {
        return picked;
    }
    for (const QLatin1String wanted : kInItsPlace) {
        for (const QString& style : available) {
            if (style.compare(wanted, Qt::CaseInsensitive) == 0) {
                return style;
            }
        }
    }
    return picked;
}

void usePanelStyle() {
    const QString picked = QApplication::style()->name();
    const QString chosen = panelStyleName(picked, QStyleFactory::keys());
    if (chosen.compare(picked, Qt::CaseInsensitive) != 0) {
        QApplication::setStyle(chosen);
    }
}

}  // namespace tolvane
