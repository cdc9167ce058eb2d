#pragma once

#include <QImage>
#include <QString>

class QWidget;

// Compares a view's image with its stored reference (tests/gui/references/<name>.png)
// and keeps the image as a test artefact (<build>/test-artefacts/<name>.png).
// Tolerant: the sizes must agree and at most kAllowedShare of the pixels may differ
// by more than kChannelTolerance in any channel (anti-aliasing and font hinting
// move a few pixels; a moved control or a missing image moves many).
// With LUMETRA_UPDATE_REFERENCES=1 in the environment the image becomes the new
// reference.
class ScreenshotCheck
{
public:
    static constexpr int kChannelTolerance = 48;
    static constexpr double kAllowedShare = 0.015;

    // True when the image matches; otherwise `why` says how it differs.
    static bool Matches(const QImage& image, const QString& name, QString* why);
    // Handles the pending events, grabs `widget` and expects it to match `name`.
    static void Expect(QWidget& widget, const char* name);
    // The share of pixels that differ beyond the tolerance (1 when the sizes differ).
    static double DifferingShare(const QImage& a, const QImage& b);
    static QString ArtefactPath(const QString& name);
    static QString ReferencePath(const QString& name);
};
