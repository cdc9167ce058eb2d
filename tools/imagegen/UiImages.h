#pragma once

#include <QDir>
#include <QImage>

#include <map>

// The desktop client's own images, by resource number (128 to 177): buttons, icons,
// tabs, the login illustration and the window background. One flat look: white
// grounds, panels in light grey, grey frames and the accent blue.
class UiImages
{
public:
    // Every image, keyed by its number.
    static std::map<int, QImage> DrawAll();
    // Writes "<n>.png" for every image into `folder`, then, with the English
    // translation (lumetra_en.qm in `translations`) installed, "en/<n>.png" for every
    // image that has words on it. False when a file cannot be written or the
    // translation is missing.
    static bool WriteAll(const QDir& folder, const QString& translations);
    // Writes `image` as a PNG file at `path` and prints the path; false (with a line on
    // standard error) when it cannot be written.
    static bool Save(const QImage& image, const QString& path);
};
