#pragma once

#include <QStringList>

// Switches on the warnings of platform::TextFit (texts drawn wider than their
// rectangle) and keeps them while the object lives; other messages go on to the
// handler it replaced.
class TextFitRecorder
{
public:
    TextFitRecorder();
    ~TextFitRecorder();

    TextFitRecorder(const TextFitRecorder&) = delete;
    TextFitRecorder& operator=(const TextFitRecorder&) = delete;

    const QStringList& Warnings() const;
    void Clear();
};
