// lumetra-imagegen: draws the images of the demo installation and of the desktop
// client with QPainter.
//
//   lumetra-imagegen OUTPUT_FOLDER
//   lumetra-imagegen --ui OUTPUT_FOLDER
//   lumetra-imagegen --icon OUTPUT_FOLDER
//
// The second form writes the client's numbered images (128.png ... 177.png, drawn
// by the *Images families UiImages.cpp gathers) and, into en/, the English variants of
// those with words on them (same sizes; the translation comes from the build's
// translations/lumetra_en.qm beside the program); the committed files in
// src/ui/images/ were made with
//   build/bin/lumetra-imagegen --ui src/ui/images
//
// The third form writes the application icon (lumetra-<size>.png in the hicolor
// sizes and lumetra.svg, see AppIcon.h); the build runs it for the installation.
//
// The first form writes logo.png (120 x 36), title.png (200 x 36), its English variant
// title_en.png and qr_code.png (110 x 110) into the folder. The committed files in
// demo/platconf/ were made with
//   build/bin/lumetra-imagegen demo/platconf
// The QR code is decorative: a fixed pattern with the three finder squares of a real
// code, not an encoded address.

#include <QColor>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QTranslator>

#include "AppIcon.h"
#include "DrawingKit.h"
#include "UiImages.h"

#include <cstdio>
#include <cstdlib>

namespace {

const QColor kAccent(0, 123, 195);
const QColor kDark(40, 40, 40);

QImage Blank(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

QFont Font(int pixelSize, int weight)
{
    QFont font(QStringLiteral("微软雅黑"));
    font.setPixelSize(pixelSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

// On a white badge (readable on the coloured title band as on white): a rounded
// blue tile with a white "L" and a small dot (the device), then the name.
QImage DrawLogo()
{
    QImage image = Blank(120, 36);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(0, 0, 120, 36), 9, 9);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(2, 2, 32, 32), 7, 7);
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(11, 9), QPointF(11, 26), QPointF(23, 26)}));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(25, 11), 3, 3);
    p.setPen(kAccent);
    p.setFont(Font(17, QFont::Bold));
    p.drawText(QRectF(40, 0, 80, 36), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Lumetra"));
    return image;
}

// The product line of the window's title band (white text: the band is coloured, as
// the white user name beside it shows): name and a short Chinese tag line,
// separated by a thin accent bar.
QImage DrawTitle()
{
    QImage image = Blank(200, 36);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(Qt::white);
    p.setFont(Font(15, QFont::Bold));
    p.drawText(QRectF(0, 0, 70, 36), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Lumetra"));
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRect(QRectF(72, 9, 3, 18));
    p.setPen(Qt::white);
    p.setFont(Font(13, QFont::Normal));
    imagegen::Words(p, QRectF(82, 0, 118, 36), Qt::AlignVCenter | Qt::AlignLeft,
                    QT_TRANSLATE_NOOP("UiText", "远程设备通道"));
    return image;
}

void FinderSquare(QPainter& p, int x, int y, int module)
{
    p.fillRect(x, y, 7 * module, 7 * module, kDark);
    p.fillRect(x + module, y + module, 5 * module, 5 * module, Qt::white);
    p.fillRect(x + 2 * module, y + 2 * module, 3 * module, 3 * module, kDark);
}

// A 25 x 25 module grid with a quiet zone, finder squares in three corners, timing
// lines and a fixed pseudo-random fill; a blue tile in the middle.
QImage DrawQrCode()
{
    const int size = 110;
    const int modules = 25;
    const int module = 4;
    const int origin = (size - modules * module) / 2;
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter p(&image);

    auto inFinder = [&](int col, int row) {
        auto near = [](int v, int start) { return v >= start && v < start + 8; };
        return (near(col, 0) && near(row, 0)) || (near(col, modules - 8) && near(row, 0)) ||
               (near(col, 0) && near(row, modules - 8));
    };
    unsigned state = 0x2545F491u; // fixed start value: the same image on every run
    for (int row = 0; row < modules; ++row) {
        for (int col = 0; col < modules; ++col) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            if (inFinder(col, row))
                continue;
            bool dark = (row == 6 || col == 6) ? ((row + col) % 2 == 0) : (state & 3u) < 2u;
            if (dark)
                p.fillRect(origin + col * module, origin + row * module, module, module, kDark);
        }
    }
    FinderSquare(p, origin, origin, module);
    FinderSquare(p, origin + (modules - 7) * module, origin, module);
    FinderSquare(p, origin, origin + (modules - 7) * module, module);

    p.setRenderHint(QPainter::Antialiasing);
    QRectF centre(size / 2.0 - 11, size / 2.0 - 11, 22, 22);
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(kAccent);
    p.drawRoundedRect(centre, 4, 4);
    p.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(centre.left() + 7, centre.top() + 5),
                              QPointF(centre.left() + 7, centre.bottom() - 6),
                              QPointF(centre.right() - 6, centre.bottom() - 6)}));
    return image;
}

bool Save(const QImage& image, const QDir& folder, const char* name)
{
    return UiImages::Save(image, folder.filePath(QString::fromUtf8(name)));
}

} // namespace

int main(int argc, char** argv)
{
    const bool ui = argc == 3 && QString::fromLocal8Bit(argv[1]) == QLatin1String("--ui");
    const bool icon = argc == 3 && QString::fromLocal8Bit(argv[1]) == QLatin1String("--icon");
    const char* target = ui || icon ? argv[2] : (argc == 2 ? argv[1] : nullptr);
    if (target == nullptr || QString::fromLocal8Bit(target).startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: lumetra-imagegen [--ui | --icon] OUTPUT_FOLDER\n");
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(target));
    if (!folder.exists()) {
        std::fprintf(stderr, "lumetra-imagegen: no such folder: %s\n", target);
        return 2;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (ui)
        return UiImages::WriteAll(folder,
                                  QCoreApplication::applicationDirPath() + QStringLiteral("/translations"))
                   ? 0
                   : 1;
    if (icon)
        return AppIcon::WriteAll(folder) ? 0 : 1;
    bool ok = Save(DrawLogo(), folder, "logo.png") && Save(DrawTitle(), folder, "title.png") &&
              Save(DrawQrCode(), folder, "qr_code.png");
    // The title's English variant (the installation's "title_en.png").
    QTranslator english;
    if (!english.load(QStringLiteral("lumetra_en"),
                      QCoreApplication::applicationDirPath() + "/translations")) {
        std::fprintf(stderr, "lumetra-imagegen: no translations/lumetra_en.qm beside the program\n");
        return 1;
    }
    QCoreApplication::installTranslator(&english);
    ok = ok && Save(DrawTitle(), folder, "title_en.png");
    return ok ? 0 : 1;
}
