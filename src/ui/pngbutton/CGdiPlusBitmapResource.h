#pragma once

#include <QImage>

// A PNG image of the program's own resources, looked up by number (":/png/<n>.png").
class CGdiPlusBitmapResource
{
public:
    CGdiPlusBitmapResource() = default;
    explicit CGdiPlusBitmapResource(int id) { Load(id); }

    // Loads image `id`; false (and no image) when it is missing or cannot be decoded.
    bool Load(int id);
    bool IsLoaded() const { return !image_.isNull(); }
    const QImage& Image() const { return image_; }

    // The image `id`, or a null image.
    static QImage Get(int id);

private:
    QImage image_;
};
