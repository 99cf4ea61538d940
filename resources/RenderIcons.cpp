// SPDX-License-Identifier: GPL-3.0-or-later
// Build-time helper: writes the application icon as PNG files for the icon
// theme, from the same painting code the program uses at run time.
//
//   chanload-render-icons <output dir> <file name> <size>...
//
// writes <output dir>/<n>x<n>/<file name> for every size n.
#include "Pictures.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <output dir> <file name> <size>...\n", argv[0]);
        return 2;
    }
    // Runs during the build, where there may be no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication App(argc, argv);

    const QIcon Icon = LoadIcon("MAINICON");
    const QDir Out(QString::fromLocal8Bit(argv[1]));
    const QString FileName = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        char* End = nullptr;
        const long Size = std::strtol(argv[i], &End, 10);
        if (End == argv[i] || *End != '\0' || Size < 1 || Size > 1024) {
            std::fprintf(stderr, "%s: not an icon size: %s\n", argv[0], argv[i]);
            return 2;
        }
        const QString Dir = QStringLiteral("%1x%1").arg(Size);
        const QString Path = Out.filePath(Dir + QLatin1Char('/') + FileName);
        if (!Out.mkpath(Dir) || !Icon.pixmap(QSize(Size, Size), 1.0).save(Path, "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(Path));
            return 1;
        }
    }
    return 0;
}
