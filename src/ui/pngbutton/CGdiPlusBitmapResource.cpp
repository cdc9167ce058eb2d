#include "ui/pngbutton/CGdiPlusBitmapResource.h"

#include <QFile>
#include <QString>

// The images are compiled into the static UI library; make sure the linker keeps them.
static void EnsureImagesRegistered()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(ui_images);
        return true;
    }();
    (void)registered;
}

bool CGdiPlusBitmapResource::Load(int id)
{
    image_ = Get(id);
    return !image_.isNull();
}

QImage CGdiPlusBitmapResource::Get(int id)
{
    EnsureImagesRegistered();
    QFile file(QStringLiteral(":/png/%1.png").arg(id));
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return QImage();
    QImage image;
    if (!image.loadFromData(bytes, "PNG"))
        return QImage();
    return image.convertToFormat(QImage::Format_ARGB32);
}
