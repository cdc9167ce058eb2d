#include "gui/common/ScreenshotCheck.h"

#include <QApplication>
#include <QDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

QString ScreenshotCheck::ArtefactPath(const QString& name)
{
    return QStringLiteral(LUMETRA_ARTEFACT_DIR "/") + name + QStringLiteral(".png");
}

QString ScreenshotCheck::ReferencePath(const QString& name)
{
    return QStringLiteral(LUMETRA_SOURCE_DIR "/tests/gui/references/") + name + QStringLiteral(".png");
}

double ScreenshotCheck::DifferingShare(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    long differing = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const int d = std::max(
                {std::abs(qRed(p[col]) - qRed(q[col])), std::abs(qGreen(p[col]) - qGreen(q[col])),
                 std::abs(qBlue(p[col]) - qBlue(q[col])), std::abs(qAlpha(p[col]) - qAlpha(q[col]))});
            if (d > kChannelTolerance)
                ++differing;
        }
    }
    return double(differing) / (double(x.width()) * x.height());
}

bool ScreenshotCheck::Matches(const QImage& image, const QString& name, QString* why)
{
    QDir().mkpath(QStringLiteral(LUMETRA_ARTEFACT_DIR));
    image.save(ArtefactPath(name), "PNG");
    if (qEnvironmentVariableIntValue("LUMETRA_UPDATE_REFERENCES") == 1) {
        image.save(ReferencePath(name), "PNG");
        return true;
    }
    const QImage reference(ReferencePath(name));
    if (reference.isNull()) {
        *why = QStringLiteral("no reference image %1 (the image is at %2)")
                   .arg(ReferencePath(name), ArtefactPath(name));
        return false;
    }
    const double share = DifferingShare(image, reference);
    if (share > kAllowedShare) {
        *why = QStringLiteral("%1 differs from %2 in %3 % of its pixels")
                   .arg(ArtefactPath(name), ReferencePath(name))
                   .arg(share * 100.0, 0, 'f', 2);
        return false;
    }
    return true;
}

void ScreenshotCheck::Expect(QWidget& widget, const char* name)
{
    QApplication::processEvents();
    QString why;
    EXPECT_TRUE(Matches(widget.grab().toImage(), QString::fromUtf8(name), &why)) << why.toStdString();
}
