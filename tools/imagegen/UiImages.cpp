#include "UiImages.h"

#include "DetailImages.h"
#include "HomeImages.h"
#include "LoginImages.h"
#include "MainWindowImages.h"
#include "TreeImages.h"

#include <QCoreApplication>
#include <QString>
#include <QTranslator>

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

bool UiImages::WriteAll(const QDir& folder, const QString& translations)
{
    const std::map<int, QImage> chinese = DrawAll();
    for (const auto& [number, image] : chinese) {
        if (!Save(image, folder.filePath(QStringLiteral("%1.png").arg(number))))
            return false;
    }
    QTranslator english;
    if (!english.load(QStringLiteral("lumetra_en"), translations)) {
        std::fprintf(stderr, "lumetra-imagegen: no lumetra_en.qm in %s\n", qPrintable(translations));
        return false;
    }
    QCoreApplication::installTranslator(&english);
    const std::map<int, QImage> translated = DrawAll();
    QCoreApplication::removeTranslator(&english);
    if (!folder.mkpath(QStringLiteral("en")))
        return false;
    for (const auto& [number, image] : translated) {
        if (image != chinese.at(number) &&
            !Save(image, folder.filePath(QStringLiteral("en/%1.png").arg(number))))
            return false;
    }
    return true;
}

bool UiImages::Save(const QImage& image, const QString& path)
{
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "lumetra-imagegen: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}
