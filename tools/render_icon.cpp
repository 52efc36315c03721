// Writes the program's emblem as PNG files for installation: tolvane-icon DIR SIZE...
// makes DIR/SIZExSIZE/apps/tolvane.png for each size, as the hicolor icon theme lays them out.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <iostream>

#include "panel/app_icon.h"

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::cerr << "usage: tolvane-icon DIR SIZE...\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir root(QString::fromLocal8Bit(argv[1]));
    for (int i = 2; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLatin1(argv[i]).toInt(&ok);
        if (!ok || size < 8 || size > 1024) {
            std::cerr << "tolvane-icon: bad size " << argv[i] << '\n';
            return 2;
        }
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        if (!root.mkpath(folder) || !tolvane::drawEmblem(size).save(
                                        root.filePath(folder + QStringLiteral("/tolvane.png")))) {
            std::cerr << "tolvane-icon: cannot write the " << size << "-pixel icon\n";
            return 1;
        }
    }
    return 0;
}
