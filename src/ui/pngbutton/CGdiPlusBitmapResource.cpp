#include "ui/pngbutton/CGdiPlusBitmapResource.h"

#include "platform/UiLanguage.h"

#include <QFile>
#include <QString>

// The images live in the ui library's compiled resources; a static library's resource
// object is linked only when something names it, so it is registered here. Qt keeps
// one registration of the same data however often this runs.
static void EnsureImagesRegistered()
{
    Q_INIT_RESOURCE(ui_images);
}

bool CGdiPlusBitmapResource::Load(int id)
{
    image_ = Get(id);
    return !image_.isNull();
}

QImage CGdiPlusBitmapResource::Get(int id)
{
    EnsureImagesRegistered();
    // Images with words on them have an English variant of the same size.
    QFile file(QStringLiteral(":/png/en/%1.png").arg(id));
    if (platform::UiLanguage::Current() != platform::UiLanguage::Language::English ||
        !file.open(QIODevice::ReadOnly)) {
        file.setFileName(QStringLiteral(":/png/%1.png").arg(id));
        if (!file.open(QIODevice::ReadOnly))
            return QImage();
    }
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return QImage();
    QImage image;
    if (!image.loadFromData(bytes, "PNG"))
        return QImage();
    return image.convertToFormat(QImage::Format_ARGB32);
}
