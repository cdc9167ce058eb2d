#include "UiImages.h"

#include "DetailImages.h"
#include "HomeImages.h"
#include "LoginImages.h"
#include "MainWindowImages.h"
#include "TreeImages.h"

#include <QString>

#include <cstdio>

std::map<int, QImage> UiImages::DrawAll()
{
    std::map<int, QImage> images;
    MainWindowImages::Add(images);
    LoginImages::Add(images);
    TreeImages::Add(images);
    DetailImages::Add(images);
    HomeImages::Add(images);
    return images;
}

bool UiImages::WriteAll(const QDir& folder)
{
    for (const auto& [number, image] : DrawAll()) {
        const QString path = folder.filePath(QStringLiteral("%1.png").arg(number));
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "lumetra-imagegen: cannot write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
    }
    return true;
}
