// The icon files kept in packaging/icons show the emblem as it is drawn now. Compared decoded:
// PNG encoders of different library versions write the same pixels as different bytes.
#include <gtest/gtest.h>

#include <QImageReader>
#include <vector>

#include "panel/app_icon.h"
#include "test_printers.h"

namespace tolvane {
namespace {

using test_support::PrintTo;

struct IconFile {
    const char* name;
    const char* path;        // under packaging/icons
    std::vector<int> sizes;  // of its images, in file order
};

class KeptIcon : public ::testing::TestWithParam<IconFile> {};

TEST_P(KeptIcon, ShowsTheEmblemAsDrawnNow) {
    QImageReader reader(QStringLiteral(TOLVANE_ICON_FILES "/") + QLatin1String(GetParam().path));
    for (const int size : GetParam().sizes) {
        const QImage kept = reader.read();
        ASSERT_FALSE(kept.isNull()) << reader.errorString().toStdString();
        EXPECT_TRUE(kept.convertToFormat(QImage::Format_ARGB32) == drawEmblem(size))
            << "the " << size << "-pixel image differs: cmake --build build --target update-icons";
        reader.jumpToNextImage();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, KeptIcon,
    ::testing::Values(IconFile{"Png16", "hicolor/16x16/apps/tolvane.png", {16}},
                      IconFile{"Png32", "hicolor/32x32/apps/tolvane.png", {32}},
                      IconFile{"Png48", "hicolor/48x48/apps/tolvane.png", {48}},
                      IconFile{"Png128", "hicolor/128x128/apps/tolvane.png", {128}},
                      IconFile{"Png256", "hicolor/256x256/apps/tolvane.png", {256}},
                      IconFile{"WindowsIcon", "tolvane.ico", {32, 16}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane
