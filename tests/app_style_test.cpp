// Which of Qt's styles the panel is drawn in, for the style picked for the desktop and the styles
// there are, as each system and Qt version offers them.
#include <gtest/gtest.h>

#include <QStringList>

#include "panel/app_style.h"
#include "test_printers.h"

namespace tolvane {
namespace {

TEST(AppStyle, TheWindows11StyleGivesWayToTheVistaStyleAndNoOtherIsReplaced) {
    const QStringList qt68Windows{"windows11", "windowsvista", "Windows", "Fusion"};
    const QStringList qt64Windows{"windowsvista", "Windows", "Fusion"};
    struct Case {
        const char* where;
        QString picked;
        QStringList available;
        QString expected;
    };
    for (const Case& c : {
             Case{"Qt 6.8 on Windows 11", "Windows11", qt68Windows, "windowsvista"},
             Case{"Qt 6.8 on Windows 10", "WindowsVista", qt68Windows, "WindowsVista"},
             Case{"Qt 6.4 on any Windows", "WindowsVista", qt64Windows, "WindowsVista"},
             Case{"QT_STYLE_OVERRIDE=windows11", "windows11", qt68Windows, "windowsvista"},
             Case{"-style fusion on Windows 11", "fusion", qt68Windows, "fusion"},
             Case{"without the Vista style", "Windows11", {"windows11", "Windows"}, "Windows"},
             Case{"nothing else to take", "windows11", {"windows11"}, "windows11"},
             Case{"Linux", "Fusion", {"Windows", "Fusion"}, "Fusion"},
             Case{"-style windows on Linux", "Windows", {"Windows", "Fusion"}, "Windows"},
         }) {
        EXPECT_EQ(panelStyleName(c.picked, c.available), c.expected) << c.where;
    }
}

}  // namespace
}  // namespace tolvane
