#pragma once

#include <QString>

namespace platform {

// Reports texts drawn wider than the place they were given, on the logging category
// "lumetra.textfit" (warnings off unless switched on, for example with
// QT_LOGGING_RULES="lumetra.textfit.warning=true"): a translation that is too long
// for its place shows up there instead of being cut off unnoticed.
class TextFit
{
public:
    // Whether anyone listens; the drawing code measures its texts only then.
    static bool Enabled();
    // Checks one text about to be drawn: `width` is its measured width, `room` the
    // width of its place, both in pixels.
    static void Check(const QString& text, double width, double room);
    // The category's name.
    static const char* const kCategory;
};

} // namespace platform
