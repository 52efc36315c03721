// The icon files kept in packaging/icons show what tolvane-icon renders now. Compared as decoded
// images: PNG encoders of different library versions write the same pixels as different bytes.
#include <gtest/gtest.h>

#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "test_printers.h"

namespace tolvane {
namespace {

using testing::PrintTo;

struct IconFile {
    const char* name;
    const char* path;        // under packaging/icons
    std::vector<int> sizes;  // of its images, in file order
};

std::vector<QImage> decode(const QString& path) {
    QImageReader reader(path);
    std::vector<QImage> images;
    do {
        const QImage image = reader.read();
        if (image.isNull()) {
            break;
        }
        images.push_back(image.convertToFormat(QImage::Format_ARGB32));
    } while (reader.jumpToNextImage());
    return images;
}

void render(const QStringList& arguments) {
    QProcess renderer;
    renderer.start(QStringLiteral(TOLVANE_ICON_PROGRAM), arguments);
    ASSERT_TRUE(renderer.waitForFinished(30000)) << "tolvane-icon did not finish in 30 s";
    ASSERT_EQ(renderer.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(renderer.exitCode(), 0) << renderer.readAllStandardError().toStdString();
}

class KeptIcon : public ::testing::TestWithParam<IconFile> {
  protected:
    static void SetUpTestSuite() {
        rendered_ = std::make_unique<QTemporaryDir>();
        render({rendered_->filePath(QStringLiteral("hicolor")), QStringLiteral("16"),
                QStringLiteral("32"), QStringLiteral("48"), QStringLiteral("128"),
                QStringLiteral("256")});
        render({QStringLiteral("--ico"), rendered_->filePath(QStringLiteral("tolvane.ico"))});
    }
    static void TearDownTestSuite() { rendered_.reset(); }

    static std::unique_ptr<QTemporaryDir> rendered_;
};

std::unique_ptr<QTemporaryDir> KeptIcon::rendered_;

TEST_P(KeptIcon, ShowsWhatTheRendererDraws) {
    const IconFile& file = GetParam();
    const QString path = QLatin1String(file.path);
    const std::vector<QImage> kept =
        decode(QStringLiteral(TOLVANE_ICON_FILES) + QLatin1Char('/') + path);
    const std::vector<QImage> fresh = decode(rendered_->filePath(path));
    ASSERT_EQ(kept.size(), file.sizes.size()) << "images decoded from the kept file";
    ASSERT_EQ(fresh.size(), file.sizes.size()) << "images decoded from the rendered file";
    for (std::size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(kept[i].size(), QSize(file.sizes[i], file.sizes[i])) << "image " << i;
        EXPECT_TRUE(kept[i] == fresh[i])
            << file.path << ", image " << i
            << ": the emblem has changed; cmake --build build --target update-icons";
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
